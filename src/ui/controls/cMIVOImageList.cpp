#include "ui/controls/cMIVOImageList.h"

#include <algorithm>
#include <utility>

#include "win32/ModuleSource.h"
#include "win32/MText.h"

namespace {

constexpr ErrorSource kSource = ModuleSource("cMIVOImageList");

bool ImageType(std::int32_t iType, UINT& type) {
    switch (iType) {
    case 0:
        type = IMAGE_BITMAP;
        return true;
    case 1:
        type = IMAGE_ICON;
        return true;
    case 2:
        type = IMAGE_CURSOR;
        return true;
    default:
        return false;
    }
}

void FillRect(HDC dc, int cx, int cy, COLORREF colour) {
    RECT r = {0, 0, cx, cy};
    UniqueBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &r, brush.get());
}

} // namespace

bool cMIVOImageList::Create() {
    Destroy();
    HIMAGELIST h = ::ImageList_Create(iconSizeX_, iconSizeY_, colourDepth_ | ILC_MASK, 4, 4);
    if (!h || h == reinterpret_cast<HIMAGELIST>(-1))
        return false;
    list_.reset(h);
    return true;
}

void cMIVOImageList::Destroy() {
    list_.reset();
    keys_.clear();
}

bool cMIVOImageList::AddFromHandle(HANDLE hImage, std::int32_t iType, const std::string& vKey,
                                   std::int32_t lBackColor, const ImageRef* vKeyAfter) {
    if (!list_ || !hImage)
        return false;
    // A key names one image only, or lookups by key would be ambiguous.
    if (KeyExists(vKey))
        return false;

    int index = -1;
    if (iType == 0) {
        auto bitmap = static_cast<HBITMAP>(hImage);
        auto mask = static_cast<COLORREF>(lBackColor);
        if (lBackColor == -1) {
            UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
            if (!dc)
                return false;
            SelectedObject selected(dc.get(), bitmap);
            mask = ::GetPixel(dc.get(), 0, 0);
        }
        index = ::ImageList_AddMasked(list_.get(), bitmap, mask);
    } else if (iType == 1 || iType == 2) {
        index = ::ImageList_AddIcon(list_.get(), static_cast<HICON>(hImage));
    }
    if (index < 0)
        return false;

    // A strip adds several images; the key belongs to the first.
    keys_.resize(static_cast<std::size_t>(ImageCount()));
    keys_[static_cast<std::size_t>(index)] = vKey;
    if (vKeyAfter)
        MoveAfter(index, *vKeyAfter);
    return true;
}

// --- Members the program does not call, and what AddFromHandle shares with them ------------

// Wine's ILCF_SWAP parks the destination image in a bitmap one row high and loses the rest of
// it, so images travel through a spare slot at the end of the list instead.
template <typename Moves> bool cMIVOImageList::WithSpareSlot(Moves moves) {
    const std::int32_t count = ImageCount();
    if (!::ImageList_SetImageCount(list_.get(), static_cast<UINT>(count + 1)))
        return false;
    moves(count);
    ::ImageList_SetImageCount(list_.get(), static_cast<UINT>(count));
    return true;
}

void cMIVOImageList::MoveAfter(std::int32_t index, const ImageRef& vKeyAfter) {
    const std::int32_t after = Resolve(vKeyAfter);
    if (after < 0 || after == index)
        return;
    const std::int32_t to = after < index ? after + 1 : after;
    if (!WithSpareSlot([&](std::int32_t spare) {
            HIMAGELIST h = list_.get();
            ::ImageList_Copy(h, spare, h, index, ILCF_MOVE);
            const std::int32_t step = to < index ? -1 : 1;
            for (std::int32_t i = index; i != to; i += step)
                ::ImageList_Copy(h, i, h, i + step, ILCF_MOVE);
            ::ImageList_Copy(h, to, h, spare, ILCF_MOVE);
        }))
        return;
    auto k = keys_.begin();
    if (index < to)
        std::rotate(k + index, k + index + 1, k + to + 1);
    else
        std::rotate(k + to, k + index, k + index + 1);
}

std::int32_t cMIVOImageList::Resolve(const ImageRef& vKey) const {
    if (const auto* index = std::get_if<std::int32_t>(&vKey))
        return *index >= 0 && *index < ImageCount() ? *index : -1;
    const std::string& key = std::get<std::string>(vKey);
    if (key.empty() || !list_)
        return -1;
    auto it = std::find(keys_.begin(), keys_.end(), key);
    return it == keys_.end() ? -1 : static_cast<std::int32_t>(it - keys_.begin());
}

std::int32_t cMIVOImageList::SystemColourDepth() {
    UniqueMemoryDc dc(::CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
    return dc ? ::GetDeviceCaps(dc.get(), BITSPIXEL) : 0;
}

bool cMIVOImageList::SwapOrCopyImage(const ImageRef& vKeySrc, const ImageRef& vKeyDst,
                                     EImageCopy eSwap) {
    const std::int32_t src = Resolve(vKeySrc);
    const std::int32_t dst = Resolve(vKeyDst);
    if (src < 0 || dst < 0)
        return false;
    if (src == dst)
        return true;
    HIMAGELIST h = list_.get();
    if (eSwap != eicSwap)
        return ::ImageList_Copy(h, dst, h, src, ILCF_MOVE);
    if (!WithSpareSlot([&](std::int32_t spare) {
            ::ImageList_Copy(h, spare, h, dst, ILCF_MOVE);
            ::ImageList_Copy(h, dst, h, src, ILCF_MOVE);
            ::ImageList_Copy(h, src, h, spare, ILCF_MOVE);
        }))
        return false;
    std::swap(keys_[static_cast<std::size_t>(src)], keys_[static_cast<std::size_t>(dst)]);
    return true;
}

bool cMIVOImageList::DrawImage(const ImageRef& vKey, HDC hdc, std::int32_t xPixels,
                               std::int32_t yPixels, bool bSelected, bool bCut, bool bDisabled,
                               std::int32_t oCutDitherColour, HIMAGELIST hExternalIml) const {
    HIMAGELIST iml = hExternalIml ? hExternalIml : list_.get();
    std::int32_t index = -1;
    if (!hExternalIml) {
        index = Resolve(vKey);
    } else if (const auto* i = std::get_if<std::int32_t>(&vKey)) {
        index = *i >= 0 && *i < ::ImageList_GetImageCount(iml) ? *i : -1;
    }
    HDC dc = hdc ? hdc : ownerHdc_;
    if (!iml || index < 0 || !dc)
        return false;

    if (bDisabled) {
        int cx = 0, cy = 0;
        ::ImageList_GetIconSize(iml, &cx, &cy);
        UniqueIcon icon(::ImageList_GetIcon(iml, index, ILD_TRANSPARENT));
        return icon && ::DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.get()), 0,
                                    xPixels, yPixels, cx, cy, DST_ICON | DSS_DISABLED);
    }
    if (bCut) {
        COLORREF dither = oCutDitherColour == -1
                              ? CLR_DEFAULT
                              : static_cast<COLORREF>(TranslateColor(oCutDitherColour));
        return ::ImageList_DrawEx(iml, index, dc, xPixels, yPixels, 0, 0, CLR_NONE, dither,
                                  ILD_TRANSPARENT | ILD_BLEND50);
    }
    return ::ImageList_Draw(iml, index, dc, xPixels, yPixels,
                            ILD_TRANSPARENT | (bSelected ? ILD_SELECTED : 0));
}

std::int32_t cMIVOImageList::ImageCount() const {
    return list_ ? ::ImageList_GetImageCount(list_.get()) : 0;
}

bool cMIVOImageList::RemoveImage(const ImageRef& vKey) {
    const std::int32_t index = Resolve(vKey);
    if (index < 0 || !::ImageList_Remove(list_.get(), index))
        return false;
    keys_.erase(keys_.begin() + index);
    return true;
}

bool cMIVOImageList::KeyExists(const std::string& sKey) const {
    return Resolve(ImageRef(sKey)) >= 0;
}

std::int32_t cMIVOImageList::ItemIndex(const ImageRef& vKey) const {
    return Resolve(vKey);
}

std::string cMIVOImageList::ItemKey(std::int32_t iIndex) const {
    return iIndex >= 0 && iIndex < static_cast<std::int32_t>(keys_.size())
               ? keys_[static_cast<std::size_t>(iIndex)]
               : std::string();
}

void cMIVOImageList::SetItemKey(std::int32_t iIndex, const std::string& sKey) {
    const std::int32_t owner = Resolve(ImageRef(sKey));
    if (iIndex < 0 || iIndex >= static_cast<std::int32_t>(keys_.size()) ||
        (owner >= 0 && owner != iIndex))
        kSource.Raise(5);
    keys_[static_cast<std::size_t>(iIndex)] = sKey;
}

ComPtr<IPicture> cMIVOImageList::ItemPicture(const ImageRef& vKey) const {
    return IconToPicture(ItemCopyOfIcon(vKey));
}

UniqueIcon cMIVOImageList::ItemCopyOfIcon(const ImageRef& vKey) const {
    const std::int32_t index = Resolve(vKey);
    if (index < 0)
        return UniqueIcon();
    return UniqueIcon(::ImageList_GetIcon(list_.get(), index, ILD_TRANSPARENT));
}

void cMIVOImageList::Clear() {
    if (list_)
        ::ImageList_Remove(list_.get(), -1);
    keys_.clear();
}

bool cMIVOImageList::AddLoaded(HANDLE hImage, std::int32_t iType, const std::string& vKey,
                               std::int32_t lBackColor, const ImageRef* vKeyAfter) {
    // The list keeps copies: the loaded image is ours to free.
    const UniqueBitmap bitmap(iType == 0 ? static_cast<HBITMAP>(hImage) : nullptr);
    const UniqueIcon icon(iType == 1 ? static_cast<HICON>(hImage) : nullptr);
    const UniqueCursor cursor(iType == 2 ? static_cast<HCURSOR>(hImage) : nullptr);
    return AddFromHandle(hImage, iType, vKey, lBackColor, vKeyAfter);
}

bool cMIVOImageList::AddFromFile(const std::string& sFileName, std::int32_t iType,
                                 const std::string& vKey, bool bMapSysColors,
                                 std::int32_t lBackColor, const ImageRef* vKeyAfter) {
    UINT type = 0;
    if (!list_ || !ImageType(iType, type))
        return false;
    const int cx = iType == 0 ? 0 : iconSizeX_;
    const int cy = iType == 0 ? 0 : iconSizeY_;
    HANDLE image = ::LoadImageW(nullptr, MText::Utf8ToWide(sFileName).c_str(), type, cx, cy,
                                LR_LOADFROMFILE | (bMapSysColors ? LR_LOADMAP3DCOLORS : 0));
    return AddLoaded(image, iType, vKey, lBackColor, vKeyAfter);
}

bool cMIVOImageList::AddFromResourceID(std::int32_t lID, HINSTANCE hInst, std::int32_t iType,
                                       const std::string& vKey, bool bMapSysColors,
                                       std::int32_t lBackColor, const ImageRef* vKeyAfter) {
    UINT type = 0;
    if (!list_ || !ImageType(iType, type))
        return false;
    // No module means the program's own, not the system's predefined images.
    if (!hInst)
        hInst = ::GetModuleHandleA(nullptr);
    const int cx = iType == 0 ? 0 : iconSizeX_;
    const int cy = iType == 0 ? 0 : iconSizeY_;
    HANDLE image = ::LoadImageA(hInst, MAKEINTRESOURCEA(lID), type, cx, cy,
                                bMapSysColors ? LR_LOADMAP3DCOLORS : 0);
    return AddLoaded(image, iType, vKey, lBackColor, vKeyAfter);
}

bool cMIVOImageList::AddFromPictureBox(HDC hdc, const std::string& vKey, std::int32_t LeftPixels,
                                       std::int32_t TopPixels, std::int32_t lBackColor) {
    if (!list_ || !hdc)
        return false;
    const COLORREF back = lBackColor == -1 ? ::GetPixel(hdc, LeftPixels, TopPixels)
                                           : static_cast<COLORREF>(lBackColor);
    UniqueMemoryDc mem(::CreateCompatibleDC(hdc));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(hdc, iconSizeX_, iconSizeY_));
    if (!mem || !bitmap)
        return false;
    {
        SelectedObject selected(mem.get(), bitmap.get());
        FillRect(mem.get(), iconSizeX_, iconSizeY_, back);
        ::BitBlt(mem.get(), 0, 0, iconSizeX_, iconSizeY_, hdc, LeftPixels, TopPixels, SRCCOPY);
    }
    return AddFromHandle(bitmap.get(), 0, vKey, static_cast<std::int32_t>(back));
}

ComPtr<IPicture> cMIVOImageList::ImagePictureStrip(const ImageRef& vStartKey,
                                                   const ImageRef& vEndKey,
                                                   std::int32_t oBackColor) const {
    std::int32_t first = Resolve(vStartKey);
    std::int32_t last = Resolve(vEndKey);
    if (first < 0 || last < 0)
        return ComPtr<IPicture>();
    if (first > last)
        std::swap(first, last);
    const int width = (last - first + 1) * iconSizeX_;
    WindowDc screen(nullptr);
    UniqueMemoryDc mem(::CreateCompatibleDC(screen.get()));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, iconSizeY_));
    if (!mem || !bitmap)
        return ComPtr<IPicture>();
    {
        SelectedObject selected(mem.get(), bitmap.get());
        const std::int32_t back = oBackColor == -1
                                      ? static_cast<std::int32_t>(::GetSysColor(COLOR_WINDOW))
                                      : TranslateColor(oBackColor);
        FillRect(mem.get(), width, iconSizeY_, static_cast<COLORREF>(back));
        for (std::int32_t i = first; i <= last; ++i)
            ::ImageList_Draw(list_.get(), i, mem.get(), (i - first) * iconSizeX_, 0,
                             ILD_TRANSPARENT);
    }
    return BitmapToPicture(std::move(bitmap));
}

namespace {

// A picture object that owns the handle in desc; null (and the handle still the caller's) when
// it cannot be made.
ComPtr<IPicture> PictureOwning(PICTDESC& desc) {
    desc.cbSizeofstruct = sizeof desc;
    ComPtr<IPicture> picture;
    if (FAILED(::OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, picture.put_void())))
        return ComPtr<IPicture>();
    return picture;
}

} // namespace

ComPtr<IPicture> cMIVOImageList::IconToPicture(UniqueIcon hIcon) {
    if (!hIcon)
        return ComPtr<IPicture>();
    PICTDESC desc = {};
    desc.picType = PICTYPE_ICON;
    desc.icon.hicon = hIcon.get();
    ComPtr<IPicture> picture = PictureOwning(desc);
    if (picture)
        hIcon.release();
    return picture;
}

ComPtr<IPicture> cMIVOImageList::BitmapToPicture(UniqueBitmap hBmp) {
    if (!hBmp)
        return ComPtr<IPicture>();
    PICTDESC desc = {};
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = hBmp.get();
    ComPtr<IPicture> picture = PictureOwning(desc);
    if (picture)
        hBmp.release();
    return picture;
}

std::int32_t cMIVOImageList::TranslateColor(std::int32_t clr, HPALETTE hPal) {
    COLORREF rgb = 0;
    if (FAILED(::OleTranslateColor(static_cast<OLE_COLOR>(clr), hPal, &rgb)))
        return -1;
    return static_cast<std::int32_t>(rgb);
}
