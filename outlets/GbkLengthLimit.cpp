#include "outlets/GbkLengthLimit.h"

#include "base/Gbk.h"

#include <QLineEdit>
#include <QValidator>
#include <algorithm>

namespace corvanta {

namespace {

// Keeps the last text the edit showed, so that it can tell which part of a new text was just
// typed or pasted and cut only that part.
class GbkLengthValidator : public QValidator {
public:
    GbkLengthValidator(QLineEdit* edit, int maxBytes) : QValidator(edit), m_maxBytes(maxBytes), m_last(edit->text())
    {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { m_last = t; });
    }

    State validate(QString& input, int& pos) const override
    {
        if (gbk::byteLength(input) <= m_maxBytes)
            return Acceptable;
        // An edit replaces one stretch of text: what is new lies between the common beginning
        // and the common end of the old and the new text.
        const qsizetype most = std::min(input.size(), m_last.size());
        qsizetype head = 0;
        while (head < most && input[head] == m_last[head])
            ++head;
        qsizetype tail = 0;
        while (tail < most - head && input[input.size() - 1 - tail] == m_last[m_last.size() - 1 - tail])
            ++tail;
        const QString inserted = input.mid(head, input.size() - head - tail);
        const QString before = input.left(head);
        const QString after = input.right(tail);
        const int room = std::max(0, m_maxBytes - gbk::byteLength(before) - gbk::byteLength(after));
        const QString kept = gbk::truncateToBytes(inserted, room);
        input = before + kept + after;
        pos = int(before.size() + kept.size());
        return Acceptable;
    }

private:
    int m_maxBytes;
    QString m_last;
};

}  // namespace

void SetGbkMaxLength(QLineEdit* edit, int maxBytes)
{
    edit->setValidator(new GbkLengthValidator(edit, maxBytes));
}

void SetTextUnlimited(QLineEdit* edit, const QString& text)
{
    const QValidator* validator = edit->validator();
    edit->setValidator(nullptr);
    edit->setText(text);
    edit->setValidator(validator);
}

}  // namespace corvanta
