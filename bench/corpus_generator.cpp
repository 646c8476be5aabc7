// Writes the benchmark corpus: photo-like colour JPEGs, text-like Group 4 TIFF scans, screenshot-
// like PNGs and small JPEGs. Everything comes from fixed-seed generators, so two runs write the
// same files and no download is needed.
//
//   folvane_bench_corpus OUT_DIR
//
// OUT_DIR/photo/photo-NN.jpg        40 colour JPEGs, 3000 x 2000, quality 90
// OUT_DIR/g4/page-NN.tif            60 single-page A4 scans at 300 dpi, CCITT Group 4
// OUT_DIR/g4-book.tif               one 30-page A4 Group 4 TIFF
// OUT_DIR/png/screen-NN.png         30 RGB screenshots, 1920 x 1080
// OUT_DIR/small/small-NNN.jpg       200 colour JPEGs, 640 x 480, quality 85

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace {

constexpr int kPhotoCount = 40;
constexpr int kPhotoWidth = 3000;
constexpr int kPhotoHeight = 2000;
constexpr int kPageCount = 60;
constexpr int kBookPages = 30;
constexpr int kPageWidth = 2480; // A4 at 300 dpi
constexpr int kPageHeight = 3508;
constexpr int kScreenCount = 30;
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr int kSmallCount = 200;
constexpr int kSmallWidth = 640;
constexpr int kSmallHeight = 480;

// xorshift64*: small, fast and the same everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 0x2545F4914F6CDD1Dull;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

private:
    uint64_t m_state;
};

uint8_t clampByte(int value)
{
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels; // RGB, rows top to bottom

    RgbImage(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3) {}
    uint8_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width * 3; }
    void fill(int x0, int y0, int x1, int y1, const uint8_t rgb[3])
    {
        for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x1); ++x)
                for (int c = 0; c < 3; ++c)
                    row(y)[x * 3 + c] = rgb[c];
    }
};

// Smooth colour fields (sums of low-frequency waves along each axis), a few soft-edged discs
// and sensor-like noise: compresses like a photograph rather than like flat graphics.
RgbImage photo(int width, int height, uint64_t seed)
{
    Random random(seed);
    RgbImage image(width, height);
    std::vector<float> columns(static_cast<size_t>(width) * 3), rows(static_cast<size_t>(height) * 3);
    for (int c = 0; c < 3; ++c) {
        double fx = 1 + 4 * random.unit(), fy = 1 + 4 * random.unit();
        double px = 6.28 * random.unit(), py = 6.28 * random.unit();
        double base = 60 + 80 * random.unit();
        for (int x = 0; x < width; ++x)
            columns[x * 3 + c] = static_cast<float>(base / 2 + 45 * std::sin(fx * 6.28 * x / width + px) +
                                                    12 * std::sin(fx * 31.4 * x / width));
        for (int y = 0; y < height; ++y)
            rows[y * 3 + c] = static_cast<float>(base / 2 + 45 * std::sin(fy * 6.28 * y / height + py));
    }
    struct Disc {
        double cx, cy, r;
        float rgb[3];
    };
    std::vector<Disc> discs(6);
    for (Disc& d : discs) {
        d.cx = random.unit() * width;
        d.cy = random.unit() * height;
        d.r = (0.05 + 0.15 * random.unit()) * height;
        for (float& v : d.rgb)
            v = static_cast<float>(random.between(-70, 70));
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* out = image.row(y);
        for (int x = 0; x < width; ++x) {
            float add[3] = {0, 0, 0};
            for (const Disc& d : discs) {
                double dx = x - d.cx, dy = y - d.cy;
                double q = (dx * dx + dy * dy) / (d.r * d.r);
                if (q < 1.2) {
                    float w = static_cast<float>(q < 0.8 ? 1.0 : (1.2 - q) / 0.4);
                    for (int c = 0; c < 3; ++c)
                        add[c] += w * d.rgb[c];
                }
            }
            uint64_t noise = random.next();
            for (int c = 0; c < 3; ++c) {
                int n = static_cast<int>((noise >> (c * 8)) & 31) - 16;
                out[x * 3 + c] = clampByte(static_cast<int>(columns[x * 3 + c] + rows[y * 3 + c] + add[c]) + n);
            }
        }
    }
    return image;
}

bool writeJpeg(const std::string& path, RgbImage& image, int quality)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.density_unit = 1;
    cinfo.X_density = 300;
    cinfo.Y_density = 300;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = image.row(static_cast<int>(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

// A 1-bit page, bit 1 = black, rows padded to whole bytes.
struct Page {
    int width = kPageWidth;
    int height = kPageHeight;
    int stride = (kPageWidth + 7) / 8;
    std::vector<uint8_t> bits = std::vector<uint8_t>(static_cast<size_t>(stride) * kPageHeight);

    void set(int x, int y)
    {
        if (x >= 0 && x < width && y >= 0 && y < height)
            bits[static_cast<size_t>(y) * stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    void box(int x0, int y0, int x1, int y1)
    {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                set(x, y);
    }
};

// A made-up typeface: each glyph is a few strokes on a 14 x 21 cell (x-height 21 pixels, as
// 10-point text at 300 dpi), so pages compress with Group 4 like printed text.
struct Glyph {
    int width;
    std::vector<std::array<int, 4>> strokes; // x0, y0, x1, y1 within the cell
};

std::vector<Glyph> makeFont(uint64_t seed)
{
    Random random(seed);
    std::vector<Glyph> font(40);
    for (Glyph& g : font) {
        g.width = random.between(10, 16);
        int count = random.between(2, 4);
        for (int i = 0; i < count; ++i) {
            if (random.below(2)) { // vertical stem, sometimes an ascender or descender
                int x = random.below(g.width - 2);
                int top = random.below(4) == 0 ? -9 : 0;
                int bottom = random.below(6) == 0 ? 29 : 21;
                g.strokes.push_back({x, top, x + 3, bottom});
            } else { // bar or bowl edge
                int y = random.below(19);
                g.strokes.push_back({0, y, g.width, y + 3});
            }
        }
    }
    return font;
}

void drawText(Page& page, const std::vector<Glyph>& font, Random& random, int left, int top, int right,
              int lines, int pitch, int scale)
{
    for (int line = 0; line < lines; ++line) {
        int y = top + line * pitch;
        int x = left + (line % 9 == 0 ? 60 : 0); // paragraph indent
        int end = right - (line % 9 == 8 ? random.below(900) : 0);
        while (x < end) {
            int letters = random.between(2, 9);
            for (int i = 0; i < letters && x < end; ++i) {
                const Glyph& g = font[static_cast<size_t>(random.below(static_cast<int>(font.size())))];
                for (const auto& s : g.strokes)
                    page.box(x + s[0] * scale, y + s[1] * scale, x + s[2] * scale, y + s[3] * scale);
                x += (g.width + 3) * scale;
            }
            x += 14 * scale;
        }
    }
}

// A text page: a heading, two or three blocks of body text, sometimes a ruled table, a page
// number, and a little scanner dust.
Page textPage(const std::vector<Glyph>& font, uint64_t seed)
{
    Random random(seed);
    Page page;
    int left = 236, right = kPageWidth - 236;
    drawText(page, font, random, left, 250, left + 1400, 1, 100, 2);
    int y = 420;
    int blocks = random.between(2, 3);
    for (int b = 0; b < blocks && y < 3100; ++b) {
        if (random.below(3) == 0) { // a table
            int rowsCount = random.between(5, 10);
            for (int r = 0; r <= rowsCount; ++r)
                page.box(left, y + r * 60, right, y + r * 60 + 3);
            for (int c = 0; c <= 4; ++c)
                page.box(left + c * (right - left) / 4 - (c == 4 ? 3 : 0), y, left + c * (right - left) / 4 + (c == 4 ? 0 : 3),
                         y + rowsCount * 60);
            for (int r = 0; r < rowsCount; ++r)
                for (int c = 0; c < 4; ++c)
                    drawText(page, font, random, left + c * (right - left) / 4 + 20, y + r * 60 + 20,
                             left + c * (right - left) / 4 + 300, 1, 60, 1);
            y += rowsCount * 60 + 80;
        }
        int lines = std::min(random.between(12, 30), (3250 - y) / 50);
        drawText(page, font, random, left, y, right, lines, 50, 1);
        y += lines * 50 + 70;
    }
    drawText(page, font, random, kPageWidth / 2 - 30, 3330, kPageWidth / 2 + 30, 1, 50, 1);
    for (int i = 0; i < 40; ++i) {
        int x = random.below(kPageWidth), yy = random.below(kPageHeight), r = random.between(1, 3);
        page.box(x, yy, x + r, yy + r);
    }
    return page;
}

bool writeG4Page(TIFF* tiff, const Page& page, int pageNumber, int pageTotal)
{
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(page.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(page.height));
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    if (pageTotal > 1) {
        TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tiff, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(pageNumber), static_cast<uint16_t>(pageTotal));
    }
    std::vector<uint8_t> row(static_cast<size_t>(page.stride));
    for (int y = 0; y < page.height; ++y) {
        std::copy_n(page.bits.data() + static_cast<size_t>(y) * page.stride, page.stride, row.data());
        if (TIFFWriteScanline(tiff, row.data(), static_cast<uint32_t>(y), 0) < 0)
            return false;
    }
    return TIFFWriteDirectory(tiff) != 0;
}

bool writeG4File(const std::string& path, const std::vector<Glyph>& font, uint64_t seed, int pages)
{
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff)
        return false;
    bool ok = true;
    for (int p = 0; p < pages && ok; ++p)
        ok = writeG4Page(tiff, textPage(font, seed * 1000 + static_cast<uint64_t>(p)), p, pages);
    TIFFClose(tiff);
    return ok;
}

// A desktop screenshot: flat window chrome, a sidebar, panels, buttons and lines of small text.
RgbImage screenshot(const std::vector<Glyph>& font, uint64_t seed)
{
    Random random(seed);
    RgbImage image(kScreenWidth, kScreenHeight);
    const uint8_t desk[3] = {static_cast<uint8_t>(random.between(30, 90)), 90, 140};
    image.fill(0, 0, kScreenWidth, kScreenHeight, desk);
    const uint8_t bar[3] = {45, 45, 50}, window[3] = {246, 246, 246}, side[3] = {232, 234, 238};
    image.fill(0, 0, kScreenWidth, 32, bar);
    int wx = random.between(40, 160), wy = random.between(60, 120);
    int ww = kScreenWidth - wx - random.between(40, 160), wh = kScreenHeight - wy - 40;
    image.fill(wx, wy, wx + ww, wy + wh, window);
    image.fill(wx, wy, wx + ww, wy + 36, bar);
    image.fill(wx, wy + 36, wx + 300, wy + wh, side);
    const uint8_t ink[3] = {30, 30, 34}, accent[3] = {static_cast<uint8_t>(random.between(0, 80)), 120, 215};
    auto text = [&](int x, int y, int right, const uint8_t rgb[3]) {
        while (x < right) {
            int letters = random.between(2, 9);
            for (int i = 0; i < letters && x < right; ++i) {
                const Glyph& g = font[static_cast<size_t>(random.below(static_cast<int>(font.size())))];
                for (const auto& s : g.strokes)
                    image.fill(x + s[0] / 2, y + s[1] / 2, x + s[2] / 2 + 1, y + s[3] / 2, rgb);
                x += g.width / 2 + 2;
            }
            x += 7;
        }
    };
    for (int i = 0; i < 24; ++i)
        text(wx + 20, wy + 60 + i * 28, wx + 20 + random.between(80, 240), ink);
    int px = wx + 330;
    for (int panel = 0; panel < 3; ++panel) {
        int py = wy + 60 + panel * ((wh - 80) / 3);
        int ph = (wh - 80) / 3 - 20;
        const uint8_t frame[3] = {210, 212, 216}, white[3] = {255, 255, 255};
        image.fill(px, py, wx + ww - 30, py + ph, frame);
        image.fill(px + 1, py + 1, wx + ww - 31, py + ph - 1, white);
        for (int line = 0; line * 22 + 40 < ph; ++line)
            text(px + 16, py + 16 + line * 22, px + 16 + random.between(300, ww - 420), ink);
        image.fill(wx + ww - 170, py + ph - 44, wx + ww - 50, py + ph - 12, accent);
    }
    return image;
}

bool writePng(const std::string& path, RgbImage& image)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, image.row(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

std::string numbered(const std::filesystem::path& folder, const char* stem, int number, int digits, const char* ext)
{
    char name[64];
    std::snprintf(name, sizeof name, "%s-%0*d.%s", stem, digits, number, ext);
    return (folder / name).string();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: folvane_bench_corpus OUT_DIR\n");
        return 2;
    }
    TIFFSetWarningHandler(nullptr);
    namespace fs = std::filesystem;
    fs::path out = argv[1];
    for (const char* sub : {"photo", "g4", "png", "small"})
        fs::create_directories(out / sub);

    bool ok = true;
    for (int i = 0; i < kPhotoCount && ok; ++i) {
        RgbImage image = photo(kPhotoWidth, kPhotoHeight, 100 + static_cast<uint64_t>(i));
        ok = writeJpeg(numbered(out / "photo", "photo", i, 2, "jpg"), image, 90);
    }
    std::vector<Glyph> font = makeFont(7);
    for (int i = 0; i < kPageCount && ok; ++i)
        ok = writeG4File(numbered(out / "g4", "page", i, 2, "tif"), font, 200 + static_cast<uint64_t>(i), 1);
    ok = ok && writeG4File((out / "g4-book.tif").string(), font, 300, kBookPages);
    for (int i = 0; i < kScreenCount && ok; ++i) {
        RgbImage image = screenshot(font, 400 + static_cast<uint64_t>(i));
        ok = writePng(numbered(out / "png", "screen", i, 2, "png"), image);
    }
    for (int i = 0; i < kSmallCount && ok; ++i) {
        RgbImage image = photo(kSmallWidth, kSmallHeight, 1000 + static_cast<uint64_t>(i));
        ok = writeJpeg(numbered(out / "small", "small", i, 3, "jpg"), image, 85);
    }
    if (!ok) {
        std::fprintf(stderr, "folvane_bench_corpus: cannot write the corpus under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
