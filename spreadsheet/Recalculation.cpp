#include "spreadsheet/Recalculation.h"

#include "spreadsheet/Formula.h"

#include <deque>
#include <map>
#include <set>

namespace spreadsheet {
namespace {

using Position = std::pair<int, int>;

class SheetCells final : public formula::CellSource {
public:
    explicit SheetCells(const Worksheet& sheet) : sheet_(sheet) {}
    Value valueAt(CellAddress at) const override
    {
        const Cell* cell = sheet_.cell(at);
        return cell ? cell->value : Value{};
    }

private:
    const Worksheet& sheet_;
};

// The formula cells each formula reads, from its references.
std::map<Position, std::set<Position>> formulaInputs(const Worksheet& sheet, const std::set<Position>& formulas)
{
    std::map<Position, std::set<Position>> inputs;
    for (const Position& at : formulas) {
        std::set<Position>& reads = inputs[at];
        QList<RangeAddress> ranges;
        try {
            ranges = formula::references(sheet.cells.at(at).formula, {at.first, at.second});
        } catch (const FormulaError&) {
            continue; // evaluated (or kept) on its own
        }
        for (const RangeAddress& range : ranges) {
            for (auto it = formulas.lower_bound({range.first.row, range.first.column});
                 it != formulas.end() && it->first <= range.last.row; ++it) {
                if (it->second >= range.first.column && it->second <= range.last.column)
                    reads.insert(*it);
            }
        }
    }
    return inputs;
}

} // namespace

void recalculate(Worksheet& sheet)
{
    std::set<Position> formulas;
    for (const auto& [at, cell] : sheet.cells) {
        if (!cell.formula.isEmpty())
            formulas.insert(at);
    }
    const std::map<Position, std::set<Position>> inputs = formulaInputs(sheet, formulas);

    // Kahn's order: a formula is ready once every formula it reads is done.
    std::map<Position, int> waitingOn;
    std::map<Position, QList<Position>> readers;
    for (const auto& [at, reads] : inputs) {
        waitingOn[at] = int(reads.size());
        for (const Position& input : reads)
            readers[input].append(at);
    }
    std::deque<Position> ready;
    for (const auto& [at, count] : waitingOn) {
        if (count == 0)
            ready.push_back(at);
    }
    const SheetCells cells(sheet);
    while (!ready.empty()) {
        const Position at = ready.front();
        ready.pop_front();
        Cell& cell = sheet.cells.at(at);
        try {
            cell.value = formula::evaluate(cell.formula, {at.first, at.second}, cells);
        } catch (const FormulaError&) {
            // Unknown to the engine: the stored result stands.
        }
        for (const Position& reader : readers[at]) {
            if (--waitingOn[reader] == 0)
                ready.push_back(reader);
        }
        waitingOn.erase(at);
    }
    for (const auto& [at, count] : waitingOn)
        sheet.cells.at(at).value = 0.0; // part of a circle
}

void recalculate(Workbook& workbook)
{
    for (Worksheet& sheet : workbook.sheets)
        recalculate(sheet);
}

} // namespace spreadsheet
