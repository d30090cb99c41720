#include "ui/help/MHelpTextView.h"

#include <richedit.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "ui/help/MHelpResource.h"
#include "win32/MText.h"

namespace MHelpTextView {

namespace {

// Layout in twips, which the control scales to the screen itself: the page's margin of 8 pixels
// and its list indent of 18, both at 96 DPI.
constexpr LONG kMargin = 120;
constexpr LONG kBulletIndent = 270;
constexpr LONG kSpaceAfter = 120;
// The page's font; the heading larger than the text.
constexpr wchar_t kFace[] = L"Arial";
constexpr LONG kTextHeight = 200;    // 10 points
constexpr LONG kHeadingHeight = 240; // 12 points

// riched20.dll from the system folder, loaded once: the program may run from a folder where
// anyone could put a DLL of that name. Its own imports are looked for beside it first.
HMODULE RichEditLibrary() noexcept {
    static const HMODULE library = [] {
        wchar_t folder[MAX_PATH] = {};
        const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return HMODULE{};
        const std::wstring path = std::wstring(folder, length) + L"\\riched20.dll";
        return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }();
    return library;
}

// One line of the view: a paragraph of its own.
struct Line {
    std::wstring text;
    bool bullet = false;
    bool bold = false;
    LONG indent = kMargin;
    LONG height = kTextHeight;
    LONG spaceBefore = 0;
    LONG spaceAfter = 0;
};

// Appends the line with its format, then the mark that ends its paragraph unless it is the last.
void Append(HWND view, const Line& line, bool last) {
    CHARRANGE end = {-1, -1};
    ::SendMessageW(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));

    // The bullet is a character of the text's own font, followed by a tab to the item's text:
    // the control's own bullets come from the Symbol font, which Wine draws as another sign.
    PARAFORMAT2 para{};
    para.cbSize = sizeof para;
    para.dwMask = PFM_STARTINDENT | PFM_RIGHTINDENT | PFM_OFFSET | PFM_TABSTOPS | PFM_SPACEBEFORE |
                  PFM_SPACEAFTER;
    para.dxStartIndent = line.indent;
    para.dxRightIndent = kMargin;
    para.dxOffset = line.bullet ? kBulletIndent : 0;
    para.cTabCount = 1;
    para.rgxTabs[0] = kMargin + kBulletIndent;
    para.dySpaceBefore = line.spaceBefore;
    para.dySpaceAfter = line.spaceAfter;
    ::SendMessageW(view, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&para));

    CHARFORMATW chars{};
    chars.cbSize = sizeof chars;
    chars.dwMask = CFM_BOLD | CFM_SIZE | CFM_FACE;
    chars.dwEffects = line.bold ? CFE_BOLD : 0;
    chars.yHeight = line.height;
    static_assert(std::size(kFace) <= LF_FACESIZE);
    std::copy(std::begin(kFace), std::end(kFace), chars.szFaceName);
    ::SendMessageW(view, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&chars));

    std::wstring text = line.bullet ? L"\u2022\t" + line.text : line.text;
    if (!last)
        text += L"\r";
    ::SendMessageW(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

// The blocks as the view's lines: a line break inside an item continues at its text's indent.
std::vector<Line> Lines(const std::vector<MHelpText::Block>& blocks) {
    std::vector<Line> lines;
    for (const MHelpText::Block& block : blocks) {
        const bool item = block.kind == MHelpText::Kind::Item;
        const bool heading = block.kind == MHelpText::Kind::Heading;
        for (size_t from = 0, to = 0; to != std::string::npos; from = to + 1) {
            to = block.text.find('\n', from);
            Line line;
            line.text = MText::Utf8ToWide(block.text.substr(from, to - from));
            line.bullet = item && from == 0;
            line.bold = heading;
            line.indent = item && from != 0 ? kMargin + kBulletIndent : kMargin;
            line.height = heading ? kHeadingHeight : kTextHeight;
            line.spaceBefore = heading && from == 0 ? kMargin : 0;
            line.spaceAfter = to == std::string::npos ? kSpaceAfter : 0;
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

} // namespace

HWND Create(HWND parent, int id, const std::vector<MHelpText::Block>& blocks) {
    if (!RichEditLibrary())
        kHelpSource.Raise(static_cast<std::int32_t>(::GetLastError()),
                          "The help text's control could not be loaded");
    RECT client = {};
    ::GetClientRect(parent, &client);
    HWND view = ::CreateWindowExW(
        0, RICHEDIT_CLASSW, L"",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
        client.right, client.bottom, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        ::GetModuleHandleW(nullptr), nullptr);
    if (!view)
        kHelpSource.Raise(static_cast<std::int32_t>(::GetLastError()),
                          "The help text could not be shown");

    const std::vector<Line> lines = Lines(blocks);
    for (size_t i = 0; i < lines.size(); ++i)
        Append(view, lines[i], i + 1 == lines.size());
    // Reading starts at the top.
    CHARRANGE start = {0, 0};
    ::SendMessageW(view, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
    ::SendMessageW(view, EM_SCROLLCARET, 0, 0);
    return view;
}

} // namespace MHelpTextView
