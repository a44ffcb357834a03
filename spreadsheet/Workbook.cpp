#include "spreadsheet/Workbook.h"

#include <algorithm>

namespace spreadsheet {

const Cell* Worksheet::cell(CellAddress at) const
{
    const auto found = cells.find({at.row, at.column});
    return found == cells.end() ? nullptr : &found->second;
}

Cell& Worksheet::cellAt(CellAddress at)
{
    return cells[{at.row, at.column}];
}

RangeAddress Worksheet::usedRange() const
{
    if (cells.empty())
        return {};
    RangeAddress range{{cells.begin()->first.first, cells.begin()->first.second},
                       {cells.rbegin()->first.first, cells.begin()->first.second}};
    for (const auto& [position, cell] : cells) {
        range.first.column = std::min(range.first.column, position.second);
        range.last.column = std::max(range.last.column, position.second);
    }
    return range;
}

int Workbook::activeSheet() const
{
    for (int i = 0; i < sheets.size(); ++i) {
        if (sheets[i].window.active)
            return i;
    }
    return 0;
}

QColor Workbook::colour(int index) const
{
    const QList<QColor>& colours = palette ? *palette : defaultPalette();
    if (index >= 8 && index - 8 < colours.size())
        return colours[index - 8];
    return QColor(Qt::black);
}

const QList<QColor>& defaultPalette()
{
    static const QList<QColor> colours = [] {
        const unsigned rgb[56] = {
            0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
            0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
            0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
            0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
            0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
            0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
        };
        QList<QColor> list;
        for (unsigned value : rgb)
            list.append(QColor::fromRgb(QRgb(value)));
        return list;
    }();
    return colours;
}

} // namespace spreadsheet
