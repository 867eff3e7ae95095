#pragma once
// Which form a long query result takes (see Rowset::text). The data module asks for the text form
// around its calls; a direct caller of an engine gets values, as always.
namespace corvanta {

// While one lives on this thread, hz_GetSales and hz_GetStock deliver their rows in text form.
class TextRowsetScope {
public:
    TextRowsetScope();
    ~TextRowsetScope();
    TextRowsetScope(const TextRowsetScope&) = delete;
    TextRowsetScope& operator=(const TextRowsetScope&) = delete;
};

bool TextRowsetsWanted();

}  // namespace corvanta
