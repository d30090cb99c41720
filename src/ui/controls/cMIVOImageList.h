// An owned Windows image list: created at a chosen image size and colour depth, filled from
// bitmaps (a strip becomes one image per IconSizeX pixels), icons, files or resources, with an
// optional text key per image.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <olectl.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "win32/ComPtr.h"
#include "win32/Handles.h"

// An image given by its index or by its key.
using ImageRef = std::variant<std::int32_t, std::string>;

// How SwapOrCopyImage treats the two images.
enum EImageCopy : UINT {
    eicCopy = ILCF_MOVE,
    eicSwap = ILCF_SWAP,
};

class cMIVOImageList {
  public:
    cMIVOImageList() = default;
    cMIVOImageList(const cMIVOImageList&) = delete;
    cMIVOImageList& operator=(const cMIVOImageList&) = delete;

    // --- Members the program uses ----------------------------------------------------------
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

    // --- Members the program does not call -----------------------------------------------
    void Destroy();
    void SetOwnerHDC(HDC hdc) { ownerHdc_ = hdc; }
    // Bits per pixel of the display.
    static std::int32_t SystemColourDepth();
    // Copies the source image over the destination, or swaps the two (keys go with the images
    // when swapped; a copy keeps the destination's key).
    bool SwapOrCopyImage(const ImageRef& vKeySrc, const ImageRef& vKeyDst,
                         EImageCopy eSwap = eicCopy);
    // Normal, selected (blended with the highlight colour), cut (dithered with
    // oCutDitherColour, -1 the default) or disabled (embossed). hdc nullptr: the OwnerHDC.
    // hExternalIml: draw from that list instead, by index.
    bool DrawImage(const ImageRef& vKey, HDC hdc, std::int32_t xPixels, std::int32_t yPixels,
                   bool bSelected = false, bool bCut = false, bool bDisabled = false,
                   std::int32_t oCutDitherColour = -1, HIMAGELIST hExternalIml = nullptr) const;
    std::int32_t ImageCount() const;
    bool RemoveImage(const ImageRef& vKey);
    bool KeyExists(const std::string& sKey) const;
    // -1 when there is no such image.
    std::int32_t ItemIndex(const ImageRef& vKey) const;
    // Empty for an index outside the list.
    std::string ItemKey(std::int32_t iIndex) const;
    // Error 5 for an index outside the list or a key that another image has.
    void SetItemKey(std::int32_t iIndex, const std::string& sKey);
    // The image as a picture object; empty when there is no such image.
    ComPtr<IPicture> ItemPicture(const ImageRef& vKey) const;
    UniqueIcon ItemCopyOfIcon(const ImageRef& vKey) const;
    // Removes all images and keys; the list stays.
    void Clear();
    // Type 0 bitmap, 1 icon, 2 cursor; icons and cursors are loaded at the image size.
    bool AddFromFile(const std::string& sFileName, std::int32_t iType, const std::string& vKey = "",
                     bool bMapSysColors = false, std::int32_t lBackColor = -1,
                     const ImageRef* vKeyAfter = nullptr);
    bool AddFromResourceID(std::int32_t lID, HINSTANCE hInst, std::int32_t iType,
                           const std::string& vKey = "", bool bMapSysColors = false,
                           std::int32_t lBackColor = -1, const ImageRef* vKeyAfter = nullptr);
    // Adds the image-sized block at (LeftPixels, TopPixels) of hdc, masked by lBackColor (-1:
    // the block's top-left pixel); parts outside the source show the back colour.
    bool AddFromPictureBox(HDC hdc, const std::string& vKey = "", std::int32_t LeftPixels = 0,
                           std::int32_t TopPixels = 0, std::int32_t lBackColor = -1);
    // The images from vStartKey to vEndKey side by side on oBackColor (-1: the window colour).
    ComPtr<IPicture> ImagePictureStrip(const ImageRef& vStartKey, const ImageRef& vEndKey,
                                       std::int32_t oBackColor = -1) const;
    // The picture object owns the handle from then on.
    static ComPtr<IPicture> IconToPicture(UniqueIcon hIcon);
    static ComPtr<IPicture> BitmapToPicture(UniqueBitmap hBmp);
    // An OLE colour (system colours included) as an RGB value; -1 when it is not valid.
    static std::int32_t TranslateColor(std::int32_t clr, HPALETTE hPal = nullptr);

  private:
    // Resolves a key or an index to an index of the list, -1 if there is none.
    std::int32_t Resolve(const ImageRef& vKey) const;
    // Moves the image at index to just after the image vKeyAfter names.
    void MoveAfter(std::int32_t index, const ImageRef& vKeyAfter);
    template <typename Moves> bool WithSpareSlot(Moves moves);
    bool AddLoaded(HANDLE hImage, std::int32_t iType, const std::string& vKey,
                   std::int32_t lBackColor, const ImageRef* vKeyAfter);

    UniqueImageList list_;
    std::int32_t iconSizeX_ = 16;
    std::int32_t iconSizeY_ = 16;
    std::int32_t colourDepth_ = 0;
    std::vector<std::string> keys_;
    HDC ownerHdc_ = nullptr;
};
