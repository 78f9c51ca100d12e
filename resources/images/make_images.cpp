// Build-time generator (host program): turns the readable text definitions in this folder into
// the bitmaps and the icon that the resource script links into the program.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string inputDir, outputDir;

void fail(const std::string &what)
{
    std::fprintf(stderr, "make_images: %s\n", what.c_str());
    std::exit(1);
}

// The lines of a definition file without comment and blank lines, right-trimmed.
std::vector<std::string> readLines(const char *name)
{
    std::string path = inputDir + "/" + name;
    FILE *file = std::fopen(path.c_str(), "r");
    if (!file) fail("cannot read " + path);
    std::vector<std::string> lines;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, file)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        // Comments start with "# "; picture rows start with '#' or '.' and hold no spaces.
        if (line.empty() || line == "#" || line.compare(0, 2, "# ") == 0) continue;
        lines.push_back(line);
    }
    std::fclose(file);
    return lines;
}

struct Writer {
    std::vector<unsigned char> bytes;
    void u8(unsigned v) { bytes.push_back(static_cast<unsigned char>(v)); }
    void u16(unsigned v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
    void u32(unsigned long v) { u16(v & 0xFFFF); u16((v >> 16) & 0xFFFF); }
};

void save(const char *name, const Writer &out)
{
    std::string path = outputDir + "/" + name;
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) fail("cannot write " + path);
    if (std::fwrite(out.bytes.data(), 1, out.bytes.size(), file) != out.bytes.size()) fail("short write " + path);
    std::fclose(file);
}

int rowBytes(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

void infoHeader(Writer &out, int width, int height, int bits, int colours, int imageSize)
{
    out.u32(40);
    out.u32(width);
    out.u32(height);
    out.u16(1);
    out.u16(bits);
    out.u32(0);
    out.u32(imageSize);
    out.u32(2835);
    out.u32(2835);
    out.u32(colours);
    out.u32(0);
}

// A bottom-up BMP file. pixel(x, y) gives a palette index, or 0xRRGGBB for 24 bits.
template <typename Pixel>
void writeBmp(const char *name, int width, int height, int bits,
              const std::vector<unsigned long> &palette, Pixel pixel)
{
    int stride = rowBytes(width, bits);
    int imageSize = stride * height;
    int headerSize = 14 + 40 + 4 * static_cast<int>(palette.size());
    Writer out;
    out.u8('B');
    out.u8('M');
    out.u32(headerSize + imageSize);
    out.u32(0);
    out.u32(headerSize);
    infoHeader(out, width, height, bits, static_cast<int>(palette.size()), imageSize);
    for (unsigned long rgb : palette) {
        out.u8(rgb & 0xFF);
        out.u8((rgb >> 8) & 0xFF);
        out.u8((rgb >> 16) & 0xFF);
        out.u8(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        std::vector<unsigned char> row(stride, 0);
        for (int x = 0; x < width; ++x) {
            unsigned long v = pixel(x, y);
            if (bits == 24) {
                row[x * 3] = v & 0xFF;
                row[x * 3 + 1] = (v >> 8) & 0xFF;
                row[x * 3 + 2] = (v >> 16) & 0xFF;
            } else if (bits == 8) {
                row[x] = static_cast<unsigned char>(v);
            } else if (bits == 4) {
                row[x / 2] |= static_cast<unsigned char>((v & 0xF) << (x % 2 ? 0 : 4));
            } else {
                if (v & 1) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
            }
        }
        out.bytes.insert(out.bytes.end(), row.begin(), row.end());
    }
    save(name, out);
}

// A picture of '#' and '.' rows: true where '#'.
std::vector<std::vector<bool>> picture(const std::vector<std::string> &lines, size_t first,
                                       int width, int height, const char *what)
{
    if (lines.size() < first + height) fail(std::string(what) + ": too few rows");
    std::vector<std::vector<bool>> dots(height, std::vector<bool>(width));
    for (int y = 0; y < height; ++y) {
        const std::string &row = lines[first + y];
        if (static_cast<int>(row.size()) != width) fail(std::string(what) + ": row of wrong width: " + row);
        for (int x = 0; x < width; ++x) {
            if (row[x] != '#' && row[x] != '.') fail(std::string(what) + ": bad pixel in " + row);
            dots[y][x] = row[x] == '#';
        }
    }
    return dots;
}

void makeBackground()
{
    std::vector<std::string> lines = readLines("bar_background.txt");
    int width = 0;
    std::vector<int> levels;
    for (const std::string &line : lines) {
        if (std::sscanf(line.c_str(), "width %d", &width) == 1) continue;
        const char *p = line.c_str();
        char *end;
        for (long v = std::strtol(p, &end, 10); end != p; v = std::strtol(p, &end, 10)) {
            if (v < 0 || v > 255) fail("bar_background: level out of range");
            levels.push_back(static_cast<int>(v));
            p = end;
        }
    }
    if (width <= 0 || levels.empty()) fail("bar_background: no width or levels");
    std::vector<unsigned long> grey(256);
    for (int i = 0; i < 256; ++i) grey[i] = i * 0x010101UL;
    writeBmp("bar_background.bmp", width, static_cast<int>(levels.size()), 8, grey,
             [&](int, int y) { return static_cast<unsigned long>(levels[y]); });
}

std::vector<std::vector<bool>> loadMask()
{
    std::vector<std::string> lines = readLines("button_mask.txt");
    if (lines.empty()) fail("button_mask: empty");
    return picture(lines, 0, static_cast<int>(lines[0].size()), static_cast<int>(lines.size()), "button_mask");
}

void makeMask(const std::vector<std::vector<bool>> &mask)
{
    int height = static_cast<int>(mask.size()), width = static_cast<int>(mask[0].size());
    writeBmp("button_mask.bmp", width, height, 1, {0x000000, 0xFFFFFF},
             [&](int x, int y) { return mask[y][x] ? 0UL : 1UL; });
}

// The sixteen colours of the classic 4-bit palette: index 0 black, index 15 white.
const std::vector<unsigned long> vgaPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

void makeGlyphs()
{
    std::vector<std::string> lines = readLines("glyphs.txt");
    int made = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        int id;
        char file[128];
        if (std::sscanf(lines[i].c_str(), "glyph %d %127s", &id, file) != 2) continue;
        std::vector<std::vector<bool>> dots = picture(lines, i + 1, 8, 8, file);
        writeBmp(file, 8, 8, 4, vgaPalette, [&](int x, int y) { return dots[y][x] ? 0UL : 15UL; });
        i += 8;
        ++made;
    }
    if (made != 6) fail("glyphs: expected six glyphs");
}

// Faces: the mask's black pixels become a shaded grey disc, everything else stays black.
void makeFaces(const std::vector<std::vector<bool>> &mask)
{
    int height = static_cast<int>(mask.size()), width = static_cast<int>(mask[0].size());
    auto inside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < width && y < height && mask[y][x];
    };
    // Depth 1: the outer ring (a 4-neighbour outside); depth 2: the ring just inside it.
    std::vector<std::vector<int>> depth(height, std::vector<int>(width, 0));
    int top = height, bottom = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (!mask[y][x]) continue;
            if (y < top) top = y;
            bottom = y;
            bool edge = !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
            depth[y][x] = edge ? 1 : 3;
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (depth[y][x] == 3) {
                const int dx[] = {-1, 1, 0, 0}, dy[] = {0, 0, -1, 1};
                for (int k = 0; k < 4; ++k)
                    if (depth[y + dy[k]][x + dx[k]] == 1) depth[y][x] = 2;
            }
    if (bottom < top) fail("faces: the mask has no shape");
    int span = bottom - top > 0 ? bottom - top : 1;

    std::vector<std::string> lines = readLines("faces.txt");
    int made = 0;
    for (const std::string &line : lines) {
        int id;
        char file[128];
        unsigned rimTop, rimBottom, arc, levelTop, levelMiddle, levelBottom;
        if (std::sscanf(line.c_str(), "face %d %127s %x %x %x %x %x %x", &id, file, &rimTop, &rimBottom,
                        &arc, &levelTop, &levelMiddle, &levelBottom) != 8)
            fail("faces: bad line: " + line);
        writeBmp(file, width, height, 24, {}, [&](int x, int y) -> unsigned long {
            if (!mask[y][x]) return 0;
            double t = static_cast<double>(y - top) / span;
            double level;
            if (depth[y][x] == 1)
                level = rimTop + (static_cast<double>(rimBottom) - rimTop) * t;
            else if (depth[y][x] == 2 && t < 0.4)
                level = arc;
            else if (t < 0.5)
                level = levelTop + (static_cast<double>(levelMiddle) - levelTop) * (t / 0.5);
            else
                level = levelMiddle + (static_cast<double>(levelBottom) - levelMiddle) * ((t - 0.5) / 0.5);
            unsigned long v = static_cast<unsigned long>(level + 0.5);
            if (v > 255) v = 255;
            if (v == 0) v = 1;  // black is reserved for outside the disc
            return v * 0x010101UL;
        });
        ++made;
    }
    if (made != 3) fail("faces: expected three faces");
}

// An icon of every picture in the definition, 32 bits per pixel with its transparency mask.
void makeIcon()
{
    std::vector<std::string> lines = readLines("clock_icon.txt");
    unsigned long colours[256];
    bool known[256] = {};
    struct Image { int size; std::vector<std::string> rows; };
    std::vector<Image> images;
    for (size_t i = 0; i < lines.size(); ++i) {
        char key;
        int r, g, b, size;
        if (std::sscanf(lines[i].c_str(), "colour %c %d %d %d", &key, &r, &g, &b) == 4) {
            unsigned char k = static_cast<unsigned char>(key);
            colours[k] = (static_cast<unsigned long>(r) << 16) | (g << 8) | b;
            known[k] = true;
        } else if (std::sscanf(lines[i].c_str(), "picture %d", &size) == 1) {
            if (lines.size() < i + 1 + size) fail("clock_icon: too few rows");
            Image image{size, std::vector<std::string>(lines.begin() + i + 1, lines.begin() + i + 1 + size)};
            for (const std::string &row : image.rows) {
                if (static_cast<int>(row.size()) != size) fail("clock_icon: row of wrong width: " + row);
                for (char c : row)
                    if (c != '.' && !known[static_cast<unsigned char>(c)]) fail("clock_icon: unknown colour");
            }
            images.push_back(image);
            i += size;
        } else {
            fail("clock_icon: bad line: " + lines[i]);
        }
    }
    if (images.empty()) fail("clock_icon: no pictures");

    std::vector<Writer> data;
    for (const Image &image : images) {
        int n = image.size, maskStride = rowBytes(n, 1);
        Writer w;
        infoHeader(w, n, 2 * n, 32, 0, n * n * 4 + maskStride * n);
        for (int y = n - 1; y >= 0; --y)
            for (int x = 0; x < n; ++x) {
                char c = image.rows[y][x];
                unsigned long rgb = c == '.' ? 0 : colours[static_cast<unsigned char>(c)];
                w.u8(rgb & 0xFF);
                w.u8((rgb >> 8) & 0xFF);
                w.u8((rgb >> 16) & 0xFF);
                w.u8(c == '.' ? 0 : 255);
            }
        for (int y = n - 1; y >= 0; --y) {
            std::vector<unsigned char> row(maskStride, 0);
            for (int x = 0; x < n; ++x)
                if (image.rows[y][x] == '.') row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
            w.bytes.insert(w.bytes.end(), row.begin(), row.end());
        }
        data.push_back(w);
    }
    Writer out;
    out.u16(0);
    out.u16(1);
    out.u16(static_cast<unsigned>(images.size()));
    unsigned long offset = 6 + 16 * images.size();
    for (size_t i = 0; i < images.size(); ++i) {
        out.u8(images[i].size);
        out.u8(images[i].size);
        out.u8(0);
        out.u8(0);
        out.u16(1);
        out.u16(32);
        out.u32(data[i].bytes.size());
        out.u32(offset);
        offset += data[i].bytes.size();
    }
    for (const Writer &w : data) out.bytes.insert(out.bytes.end(), w.bytes.begin(), w.bytes.end());
    save("clock.ico", out);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_images <definitions folder> <output folder>\n");
        return 2;
    }
    inputDir = argv[1];
    outputDir = argv[2];
    makeBackground();
    std::vector<std::vector<bool>> mask = loadMask();
    makeMask(mask);
    makeGlyphs();
    makeFaces(mask);
    makeIcon();
    return 0;
}
