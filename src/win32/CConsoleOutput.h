// Where a command's answers go: the starting program's console, or standard output when it is
// redirected (a file, a pipe), or nowhere (started from Explorer or a scheduled task).
// Redirected output wins over the console, so that "tavelin /status > file" fills the file.
#pragma once

#include <windows.h>

#include <string_view>

#include "win32/Handles.h"

class CConsoleOutput {
  public:
    CConsoleOutput();
    CConsoleOutput(const CConsoleOutput&) = delete;
    CConsoleOutput& operator=(const CConsoleOutput&) = delete;

    // Whether what is written reaches anyone: a console or redirected output.
    bool HasDestination() const { return handle_ != nullptr; }
    // The text and a line break.
    void Line(std::string_view utf8);
    void Write(std::string_view utf8);

  private:
    HANDLE handle_ = nullptr;
    UniqueHandle conout_;
    bool console_ = false;
    UINT codePage_ = CP_ACP;
};
