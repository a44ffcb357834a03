#pragma once

#include <QString>

namespace spreadsheet {

// The spreadsheet engine's application object: what the program starts in
// place of an installed spreadsheet application. Creating one throws
// std::runtime_error when the engine cannot work on this machine.
class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The engine's version text, as a spreadsheet application reports it.
    QString Version() const;
};

} // namespace spreadsheet
