#include "support/text_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "support/test_support.h"

namespace folvane::test {

namespace {

const char* const kLines[] = {
    "The quick brown fox jumps over the lazy dog",
    "Searchable scans let people find and copy text",
    "Every morning the office scanner fills a folder",
    "Invoices letters and contracts arrive as pictures",
    "Recognition turns those pictures into words again",
    "Seven hundred pages were read before lunch today",
};

constexpr double kEm = 11.0 * 300 / 72; // the font size in pixels
constexpr int kLeft = 200;
constexpr int kFirstBaseline = 400;
constexpr int kLineStep = 90;

std::vector<std::string> split(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// A binary PBM (P4) file: 1 = black.
struct Bitmap {
    int width = 0, height = 0;
    std::string bytes;
    bool ink(int x, int y) const
    {
        size_t stride = static_cast<size_t>(width + 7) / 8;
        auto byte = static_cast<unsigned char>(bytes[static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 8]);
        return (byte >> (7 - x % 8)) & 1;
    }
};

bool readPbm(const std::filesystem::path& path, Bitmap& bitmap)
{
    std::string data = readFileBytes(path);
    std::istringstream in(data);
    std::string magic;
    in >> magic;
    int values[2];
    for (int& value : values) {
        while (in >> std::ws && in.peek() == '#')
            in.ignore(1 << 20, '\n');
        in >> value;
    }
    in.get(); // the single whitespace before the pixels
    bitmap.width = values[0];
    bitmap.height = values[1];
    bitmap.bytes = data.substr(static_cast<size_t>(in.tellg()));
    return magic == "P4" && bitmap.bytes.size() >= static_cast<size_t>((bitmap.width + 7) / 8) * bitmap.height;
}

} // namespace

std::vector<PlacedWord> drawTextPage(const std::filesystem::path& path, double tiltDegrees)
{
    std::string draw;
    for (size_t line = 0; line < std::size(kLines); ++line)
        draw += " -draw \"text " + std::to_string(kLeft) + "," + std::to_string(kFirstBaseline + line * kLineStep) +
                " '" + kLines[line] + "'\"";
    std::filesystem::path pbm = path.parent_path() / (path.stem().string() + ".pbm");
    std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    CommandResult drawn = runCommand("gm convert -size " + std::to_string(kTextPageWidth) + "x" +
                                     std::to_string(kTextPageHeight) + " xc:white -units PixelsPerInch -density 300 -font " +
                                     shellQuote(font) + " -pointsize 11 -fill black" + draw + " -monochrome " +
                                     shellQuote("pbm:" + pbm.string()));
    Bitmap bitmap;
    if (drawn.exitCode != 0 || !readPbm(pbm, bitmap)) {
        ADD_FAILURE() << "cannot draw the text page: " << drawn.output;
        return {};
    }
    // The words of a line are the runs of inked columns in its band that lie less than a
    // third of an em apart (the space between words is wider; gaps between letters are narrower).
    std::vector<PlacedWord> words;
    for (size_t line = 0; line < std::size(kLines); ++line) {
        int baseline = kFirstBaseline + static_cast<int>(line) * kLineStep;
        int top = baseline - static_cast<int>(1.1 * kEm), bottom = baseline + static_cast<int>(0.4 * kEm);
        std::vector<Box> runs;
        int lastInk = -1000;
        for (int x = 0; x < bitmap.width; ++x) {
            Box column {static_cast<double>(x), 1e9, static_cast<double>(x + 1), -1};
            for (int y = top; y < bottom; ++y) {
                if (bitmap.ink(x, y)) {
                    column.top = std::min<double>(column.top, y);
                    column.bottom = std::max<double>(column.bottom, y + 1);
                }
            }
            if (column.bottom < 0)
                continue;
            if (x - lastInk > kEm / 3 || runs.empty())
                runs.push_back(column);
            Box& run = runs.back();
            run = {run.left, std::min(run.top, column.top), column.right, std::max(run.bottom, column.bottom)};
            lastInk = x;
        }
        std::vector<std::string> texts = split(kLines[line]);
        if (runs.size() != texts.size()) {
            ADD_FAILURE() << "line " << line << " shows " << runs.size() << " words, not " << texts.size();
            return {};
        }
        for (size_t i = 0; i < texts.size(); ++i)
            words.push_back({texts[i], runs[i]});
    }
    std::string turn = tiltDegrees != 0 ? " -background white -rotate " + std::to_string(tiltDegrees) +
                                              " -gravity center -crop " + std::to_string(kTextPageWidth) + "x" +
                                              std::to_string(kTextPageHeight) + "+0+0"
                                        : "";
    bool jpeg = path.extension() == ".jpg";
    std::string encoding = jpeg ? " -colorspace GRAY -quality 85 " : " -monochrome -compress Group4 ";
    CommandResult saved = runCommand("gm convert " + shellQuote(pbm.string()) + turn + encoding +
                                     "-units PixelsPerInch -density 300 " + shellQuote(path.string()));
    EXPECT_EQ(saved.exitCode, 0) << saved.output;
    return words;
}

std::vector<PlacedWord> extractedWords(const std::filesystem::path& pdf, const std::string& options)
{
    CommandResult result = runCommand("pdftotext -f 1 -l 1 -bbox " + options + " " + shellQuote(pdf.string()) + " -");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::vector<PlacedWord> words;
    std::istringstream in(result.output);
    for (std::string line; std::getline(in, line);) {
        size_t at = line.find("<word ");
        if (at == std::string::npos)
            continue;
        PlacedWord word;
        int end = 0;
        if (std::sscanf(line.c_str() + at, "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\">%n",
                        &word.box.left, &word.box.top, &word.box.right, &word.box.bottom, &end) < 4)
            continue;
        std::string rest = line.substr(at + static_cast<size_t>(end));
        word.text = rest.substr(0, rest.find("</word>"));
        words.push_back(word);
    }
    return words;
}

std::vector<std::pair<size_t, size_t>> wordsInOrder(const std::vector<PlacedWord>& expected,
                                                    const std::vector<PlacedWord>& found)
{
    const size_t n = expected.size(), m = found.size();
    std::vector<std::vector<size_t>> best(n + 1, std::vector<size_t>(m + 1, 0));
    for (size_t i = n; i-- > 0;)
        for (size_t j = m; j-- > 0;)
            best[i][j] = expected[i].text == found[j].text ? best[i + 1][j + 1] + 1
                                                           : std::max(best[i + 1][j], best[i][j + 1]);
    std::vector<std::pair<size_t, size_t>> pairs;
    for (size_t i = 0, j = 0; i < n && j < m;) {
        if (expected[i].text == found[j].text) {
            pairs.emplace_back(i++, j++);
        } else if (best[i + 1][j] >= best[i][j + 1]) {
            ++i;
        } else {
            ++j;
        }
    }
    return pairs;
}

} // namespace folvane::test
