#include "spreadsheet/Formula.h"

#include "spreadsheet/FormulaTree.h"

namespace spreadsheet::formula {

namespace {

void collectReferences(const detail::Node& node, QList<RangeAddress>& ranges)
{
    if (node.kind == detail::NodeKind::Reference && !node.reference.deleted && !node.reference.externSheet) {
        const RangeAddress range = detail::rangeOf(node.reference);
        if (!ranges.contains(range))
            ranges.append(range);
    }
    for (const detail::Node& child : node.children)
        collectReferences(child, ranges);
}

} // namespace

// A cell formula's references store absolute positions (the $ marks only
// matter when copying), so `at` does not change the bytes.
QByteArray compile(const QString& text, CellAddress /*at*/)
{
    return detail::encodeTokens(detail::parseFormulaText(text));
}

QString decompile(const QByteArray& tokens, CellAddress /*at*/)
{
    return detail::printFormula(detail::decodeTokens(tokens));
}

Value evaluate(const QByteArray& tokens, CellAddress /*at*/, const CellSource& cells)
{
    return detail::evaluateTree(detail::decodeTokens(tokens), cells);
}

QList<RangeAddress> references(const QByteArray& tokens, CellAddress /*at*/)
{
    QList<RangeAddress> ranges;
    collectReferences(detail::decodeTokens(tokens), ranges);
    return ranges;
}

} // namespace spreadsheet::formula
