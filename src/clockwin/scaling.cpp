// Display scaling: sizes the clock is drawn with at 96 DPI brought to the DPI of the monitor it
// stands on, and the DPI functions of newer Windows looked up at run time.
#include "clockwin/scaling.h"
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef UINT (WINAPI *DpiForWindowFunction)(HWND window);
typedef int (WINAPI *MetricForDpiFunction)(int index, UINT dpi);

enum { LargestScaledPixels = 1 << 22 };  // 2048 x 2048: far beyond any bar image at any DPI

int ScaleForDpi(int value, int dpi, int fromDpi)
{
    return MulDiv(value, dpi, fromDpi);
}

RECT ScaledRect(int x, int y, int cx, int cy, int dpi)
{
    RECT rect = {ScaleForDpi(x, dpi), ScaleForDpi(y, dpi), ScaleForDpi(x + cx, dpi), ScaleForDpi(y + cy, dpi)};
    return rect;
}

static FARPROC User32Function(const char *name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? GetProcAddress(user32, name) : NULL;
}

int ScreenDpi(void)
{
    HDC screen = GetDC(NULL);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : BaseDpi;
    if (screen) ReleaseDC(NULL, screen);
    return dpi > 0 ? dpi : BaseDpi;
}

int WindowDpi(HWND window)
{
    DpiForWindowFunction dpiForWindow =
        reinterpret_cast<DpiForWindowFunction>(reinterpret_cast<void (*)(void)>(User32Function("GetDpiForWindow")));
    UINT dpi = window && dpiForWindow ? dpiForWindow(window) : 0;
    return dpi ? static_cast<int>(dpi) : ScreenDpi();
}

int SystemMetricForDpi(int index, int dpi)
{
    MetricForDpiFunction metricForDpi =
        reinterpret_cast<MetricForDpiFunction>(reinterpret_cast<void (*)(void)>(User32Function("GetSystemMetricsForDpi")));
    return metricForDpi ? metricForDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

static BYTE Channel(uint32_t pixel, int shift)
{
    return static_cast<BYTE>(pixel >> shift);
}

// The colour at a point between pixel centres, mixed from the four pixels around it. Points past
// the last centre take the edge pixel (x1 is then x0, and the fraction does not matter).
static uint32_t Mixed(const uint32_t *in, int width, int height, double x, double y)
{
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    if (x0 > width - 1) x0 = width - 1;
    if (y0 > height - 1) y0 = height - 1;
    int x1 = x0 + 1 < width ? x0 + 1 : x0, y1 = y0 + 1 < height ? y0 + 1 : y0;
    double fx = x - x0, fy = y - y0;
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        double top = Channel(in[y0 * width + x0], shift) * (1 - fx) + Channel(in[y0 * width + x1], shift) * fx;
        double bottom = Channel(in[y1 * width + x0], shift) * (1 - fx) + Channel(in[y1 * width + x1], shift) * fx;
        result |= static_cast<uint32_t>(top * (1 - fy) + bottom * fy + 0.5) << shift;
    }
    return result;
}

// Scales top-down 0x00RRGGBB pixels: whole factors repeat each pixel, others sample smoothly
// around the centre of every target pixel.
static void ScalePixels(const uint32_t *in, int width, int height, uint32_t *out, int outWidth,
                        int outHeight, int dpi)
{
    int whole = dpi % BaseDpi == 0 ? dpi / BaseDpi : 0;
    for (int y = 0; y < outHeight; ++y)
        for (int x = 0; x < outWidth; ++x) {
            uint32_t *target = &out[static_cast<size_t>(y) * outWidth + x];
            if (whole) {
                int sx = x / whole < width ? x / whole : width - 1;
                int sy = y / whole < height ? y / whole : height - 1;
                *target = in[sy * width + sx];
                continue;
            }
            double sx = (x + 0.5) * width / outWidth - 0.5, sy = (y + 0.5) * height / outHeight - 0.5;
            *target = Mixed(in, width, height, sx, sy);
        }
}

static int IsLight(uint32_t pixel)
{
    return Channel(pixel, 0) + Channel(pixel, 8) + Channel(pixel, 16) >= 3 * 128;
}

static HBITMAP MakeSection(int width, int height, int bits, void **pixels)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info;
    memset(&info, 0, sizeof info);
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width;
    // One-bit images are stored bottom-up, as loaded masks are; 32-bit ones top-down.
    info.header.biHeight = bits == 1 ? height : -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = BI_RGB;
    info.colours[1].rgbRed = info.colours[1].rgbGreen = info.colours[1].rgbBlue = 0xFF;
    return CreateDIBSection(NULL, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, pixels, NULL, 0);
}

// Writes scaled pixels into a new section: one bit per pixel (set for light pixels) or 32 bits.
static HBITMAP SectionFromPixels(const uint32_t *pixels, int width, int height, int bits, int twoColour)
{
    void *target = NULL;
    HBITMAP section = MakeSection(width, height, bits, &target);
    if (!section || !target) {
        if (section) DeleteObject(section);
        return NULL;
    }
    if (bits == 1) {
        size_t stride = static_cast<size_t>((width + 31) / 32) * 4;
        BYTE *rows = static_cast<BYTE *>(target);
        memset(rows, 0, stride * height);
        for (int y = 0; y < height; ++y) {
            BYTE *row = rows + static_cast<size_t>(height - 1 - y) * stride;
            for (int x = 0; x < width; ++x)
                if (IsLight(pixels[static_cast<size_t>(y) * width + x])) row[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        }
    } else {
        uint32_t *out = static_cast<uint32_t *>(target);
        for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i)
            out[i] = twoColour ? (IsLight(pixels[i]) ? 0xFFFFFFu : 0u) : pixels[i];
    }
    GdiFlush();
    return section;
}

HBITMAP ScaleImage(HBITMAP image, int dpi)
{
    BITMAP info;
    if (!image || !GetObjectW(image, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight == 0) return NULL;
    int width = info.bmWidth, height = abs(info.bmHeight);
    int outWidth = ScaleForDpi(width, dpi), outHeight = ScaleForDpi(height, dpi);
    if (outWidth == width && outHeight == height) return image;
    if (outWidth <= 0 || outHeight <= 0 ||
        static_cast<size_t>(outWidth) * outHeight > LargestScaledPixels || static_cast<size_t>(width) * height > LargestScaledPixels)
        return NULL;
    uint32_t *in = static_cast<uint32_t *>(malloc(static_cast<size_t>(width) * height * 4));
    uint32_t *out = static_cast<uint32_t *>(malloc(static_cast<size_t>(outWidth) * outHeight * 4));
    HBITMAP scaled = NULL;
    HDC screen = GetDC(NULL);
    if (in && out && screen) {
        BITMAPINFO read;
        memset(&read, 0, sizeof read);
        read.bmiHeader.biSize = sizeof read.bmiHeader;
        read.bmiHeader.biWidth = width;
        read.bmiHeader.biHeight = -height;
        read.bmiHeader.biPlanes = 1;
        read.bmiHeader.biBitCount = 32;
        read.bmiHeader.biCompression = BI_RGB;
        if (GetDIBits(screen, image, 0, static_cast<UINT>(height), in, &read, DIB_RGB_COLORS) == height) {
            ScalePixels(in, width, height, out, outWidth, outHeight, dpi);
            int depth = info.bmBitsPixel == 1 ? 1 : 32;
            scaled = SectionFromPixels(out, outWidth, outHeight, depth, info.bmBitsPixel <= 8);
        }
    }
    if (screen) ReleaseDC(NULL, screen);
    free(out);
    free(in);
    return scaled;
}
