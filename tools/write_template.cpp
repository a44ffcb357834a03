// Writes the balance-sheet template's file during the build, so the program
// carries bytes that come from its readable description.
//
//   write_template OUTPUT.xlt
#include "generation/BalanceSheetTemplate.h"
#include "spreadsheet/XlsFile.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.xlt\n", argv[0]);
        return 2;
    }
    try {
        const QByteArray bytes = spreadsheet::writeXlsFile(generation::balanceSheetTemplate());
        QSaveFile file(QString::fromLocal8Bit(argv[1]));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
            std::fprintf(stderr, "write_template: cannot write %s: %s\n", argv[1], qPrintable(file.errorString()));
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "write_template: %s\n", error.what());
        return 1;
    }
    return 0;
}
