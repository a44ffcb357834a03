// The formula tree back to A1 text. Parentheses the tokens stored (ptgParen)
// are printed as stored; where bytes from another writer rely on order alone,
// parentheses are added so the text means what the tokens compute.
#include "spreadsheet/FormulaTree.h"

#include <charconv>

namespace spreadsheet::formula::detail {

namespace {

// The shortest text that reads back as the same double.
QString numberText(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, int(result.ptr - buffer)).toUpper();
}

QString quotedText(const QString& text)
{
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString cornerText(const ReferenceCorner& corner)
{
    QString text;
    if (!corner.columnRelative)
        text += u'$';
    text += columnName(corner.column);
    if (!corner.rowRelative)
        text += u'$';
    text += QString::number(corner.row + 1);
    return text;
}

// References through the workbook's sheet list carry only an index into it,
// which is all the text can show: "#XTI2!A1".
QString referenceText(const Reference& reference)
{
    QString text;
    if (reference.externSheet)
        text = QStringLiteral("#XTI%1!").arg(*reference.externSheet);
    if (reference.deleted)
        return text + errorText(ErrorValue::Ref);
    text += cornerText(reference.first);
    if (reference.area)
        text += u':' + cornerText(reference.last);
    return text;
}

QString print(const Node& node);

QString wrapped(const Node& node, bool needsParentheses)
{
    return needsParentheses ? u'(' + print(node) + u')' : print(node);
}

QString print(const Node& node)
{
    switch (node.kind) {
    case NodeKind::Number: return numberText(node.number);
    case NodeKind::Text: return quotedText(node.text);
    case NodeKind::Boolean: return node.boolean ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case NodeKind::Error: return errorText(node.error);
    case NodeKind::Missing: return QString();
    case NodeKind::Reference: return referenceText(node.reference);
    case NodeKind::Unary:
        return operatorText(node.op) + wrapped(node.children[0], precedence(node.children[0]) < precedence(node));
    case NodeKind::Binary:
        return wrapped(node.children[0], precedence(node.children[0]) < precedence(node)) + operatorText(node.op)
            + wrapped(node.children[1], precedence(node.children[1]) <= precedence(node));
    case NodeKind::Parenthesis: return u'(' + print(node.children[0]) + u')';
    case NodeKind::Function: {
        QStringList arguments;
        for (const Node& argument : node.children)
            arguments << print(argument);
        return QLatin1String(node.function->name) + u'(' + arguments.join(u',') + u')';
    }
    }
    return QString();
}

} // namespace

QString printFormula(const Node& root)
{
    return u'=' + print(root);
}

} // namespace spreadsheet::formula::detail
