// Window icons made from the forms' icon pictures, one per picture.
#include "platform/win32/win32_platform.h"

namespace win32 {

HICON IconFromPicture(const rt::Picture& picture)
{
    if (!picture) return nullptr;
    const int w = picture.width(), h = picture.height();

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!colour) return nullptr;
    // 0xAARRGGBB in memory is the B, G, R, A of a 32-bit DIB.
    auto* out = static_cast<std::uint32_t*>(bits);
    const std::vector<std::uint32_t>& argb = picture.pixels();
    for (std::size_t i = 0; i < argb.size(); ++i) out[i] = (argb[i] >> 24) == 0 ? 0 : argb[i];

    // The mask: one bit a pixel, rows padded to 16 bits, set where the picture is transparent.
    const int stride = ((w + 15) / 16) * 2;
    std::vector<BYTE> maskBits(static_cast<std::size_t>(stride) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((picture.pixel(x, y) >> 24) == 0)
                maskBits[static_cast<std::size_t>(y) * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    HBITMAP mask = CreateBitmap(w, h, 1, 1, maskBits.data());

    ICONINFO icon{};
    icon.fIcon = TRUE;
    icon.hbmMask = mask;
    icon.hbmColor = colour;
    HICON result = mask ? CreateIconIndirect(&icon) : nullptr;
    if (mask) DeleteObject(mask);
    DeleteObject(colour);
    return result;
}

HICON Win32Platform::iconOf(const rt::Picture& picture)
{
    for (auto& [known, icon] : icons_)
        if (known == picture) return icon;
    HICON icon = IconFromPicture(picture);
    if (icon) icons_.emplace_back(picture, icon);
    return icon;
}

}  // namespace win32
