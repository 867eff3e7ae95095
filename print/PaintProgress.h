#pragma once
// The progress of laying out a long report's pages, with a cancel button: a report of thousands
// of pages takes a while, and the user sees how far it is and may stop it.
#include "print/Report.h"

#include <QProgressDialog>

namespace corvanta::print {

class PaintProgress {
public:
    explicit PaintProgress(QWidget* parent = nullptr);

    // As paintReport's progress: shows page of pages; false once the user has cancelled.
    bool operator()(int page, int pages);
    PageProgress callback() { return [this](int page, int pages) { return (*this)(page, pages); }; }
    bool cancelled() const { return m_dialog.wasCanceled(); }
    QProgressDialog& dialog() { return m_dialog; }

private:
    QProgressDialog m_dialog;
};

}  // namespace corvanta::print
