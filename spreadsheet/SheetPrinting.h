#pragma once

#include "spreadsheet/Workbook.h"

#include <QByteArray>
#include <QPageLayout>
#include <QPageSize>

class QPagedPaintDevice;

// A sheet on paper or as PDF, as a spreadsheet prints it: the sheet's used
// range on one page laid out by the sheet's own page setup, drawn by the
// engine's painter as text and shapes.
namespace spreadsheet {

// The paper of a page setup's paper code (1 Letter, 5 Legal, 8 A3, 9 A4,
// ...); Letter for codes the file format leaves undefined.
QPageSize paperSize(int paperCode);

// The paper, orientation and margins of a page setup. Without valid
// settings the paper is Letter, upright.
QPageLayout pageLayout(const PageSetup& page);

// Lays out one page on the device: the sheet's used range at the setup's
// scale, shrunk to fit when the setup fits to pages (never enlarged beyond
// the stored scale), within the margins, centred as set, with gridlines and
// row and column headings only when the setup prints them. Sets the
// device's paper and orientation; a device that cannot take them (a
// printer without that paper) is printed on as it is. Refuses a workbook
// without sheet `sheetIndex`, a process without a QGuiApplication and a
// device that cannot be painted on; throws PictureTooLarge for a used range
// beyond the painter's limits.
void printSheet(const Workbook& workbook, int sheetIndex, QPagedPaintDevice& device);

// The page of printSheet as a PDF file's bytes; its title is the sheet's
// name, its creator Corvantis. Text stays text and its fonts are embedded.
QByteArray writeSheetPdf(const Workbook& workbook, int sheetIndex);

} // namespace spreadsheet
