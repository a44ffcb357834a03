#pragma once

#include <QImage>
#include <functional>

// The module Main routines that deal with the spreadsheet engine and the
// clipboard.
namespace generation {

// Sets ExcelApp (generation/Excel1.h) to a new application; throws, leaving
// it as it was, when the engine cannot start.
void CreateExcelApplication();
// Sets ExcelApp to nothing.
void ReleaseExcelApplication();

// One read of a picture from the clipboard; a null image when there is none.
using ClipboardRead = std::function<QImage()>;
QImage readClipboardPicture();

// The picture on the clipboard, read up to 1000 times at once, without a
// pause and without letting events run, until a read gives one; a null image
// when none did. Never fails. Format 0 takes any picture format; the
// clipboard here holds a picture one way only, so every format reads it.
QImage GetClipboardPicture(int format, const ClipboardRead& read = readClipboardPicture);

} // namespace generation
