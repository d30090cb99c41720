// An owned Windows image list: created at a chosen image size and colour depth, filled from
// bitmaps (a strip becomes one image per IconSizeX pixels), icons, files or resources, with an
// optional text key per image.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "Handles.h"

// An image given by its index or by its key.
using ImageRef = std::variant<std::int32_t, std::string>;

class cMIVOImageList {
public:
    cMIVOImageList() = default;
    cMIVOImageList(const cMIVOImageList&) = delete;
    cMIVOImageList& operator=(const cMIVOImageList&) = delete;

    std::int32_t IconSizeX() const { return iconSizeX_; }
    void SetIconSizeX(std::int32_t v) { iconSizeX_ = v; }
    std::int32_t IconSizeY() const { return iconSizeY_; }
    void SetIconSizeY(std::int32_t v) { iconSizeY_ = v; }
    // ILC_COLOR* flag: 0, 4, 8, 16, 24, 32.
    std::int32_t ColourDepth() const { return colourDepth_; }
    void SetColourDepth(std::int32_t v) { colourDepth_ = v; }

    // Discards any list and creates an empty one with the current size and depth.
    bool Create();
    // Type 0 bitmap (masked by lBackColor, or by the top-left pixel when it is -1), 1 icon,
    // 2 cursor. vKeyAfter: move the new image to just after that image.
    bool AddFromHandle(HANDLE hImage, std::int32_t iType, const std::string& vKey = "",
                       std::int32_t lBackColor = -1, const ImageRef* vKeyAfter = nullptr);
    HIMAGELIST hIml() const { return list_.get(); }
    void Destroy();

    // The remaining members are declared by the implementation (see cMIVOImageList.cpp).
private:
    UniqueImageList list_;
    std::int32_t iconSizeX_ = 16;
    std::int32_t iconSizeY_ = 16;
    std::int32_t colourDepth_ = 0;
    std::vector<std::string> keys_;
    HDC ownerHdc_ = nullptr;
};
