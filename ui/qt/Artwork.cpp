// The program's own artwork, drawn with QPainter so that no image file is shipped or borrowed.
// The pictures are transparent where they show nothing: the window's background shows through,
// and the decoration labels that the layout places over them stay readable.
#include "ui/qt/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QString>
#include <iterator>
#include <map>
#include <vector>

#include "wipe/RunAccount.h"

namespace {

const QColor kNavy(0x1F, 0x3A, 0x6E);
const QColor kSteel(0x5B, 0x7F, 0xB5);
const QColor kStraw(0xD9, 0xA4, 0x41);
const QColor kStrawDark(0x9C, 0x6B, 0x1E);
const QColor kWood(0x8A, 0x55, 0x2C);

QPixmap transparent(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A disk platter seen at an angle, centred in the rectangle.
void drawPlatter(QPainter& p, const QRectF& r) {
    QRadialGradient metal(r.center(), r.width() / 2,
                          r.center() - QPointF(r.width() / 6, r.height() / 4));
    metal.setColorAt(0.0, QColor(0xFA, 0xFB, 0xFD));
    metal.setColorAt(0.7, QColor(0xB8, 0xC2, 0xD1));
    metal.setColorAt(1.0, QColor(0x7D, 0x8A, 0x9E));
    p.setPen(QPen(QColor(0x4A, 0x55, 0x66), 1.0));
    p.setBrush(metal);
    p.drawEllipse(r);
    // The track that has been swept clean, and the spindle.
    p.setPen(QPen(QColor(0xFF, 0xFF, 0xFF, 0xC0), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(
        r.adjusted(r.width() * 0.18, r.height() * 0.18, -r.width() * 0.18, -r.height() * 0.18));
    const QPointF c = r.center();
    p.setPen(QPen(QColor(0x4A, 0x55, 0x66), 1.0));
    p.setBrush(QColor(0xE4, 0xE8, 0xEE));
    p.drawEllipse(c, r.width() * 0.09, r.height() * 0.09);
}

// A broom lying across the picture, its bristles at the lower left; coordinates on a 49 x 24 grid.
void drawBroom(QPainter& p) {
    p.setPen(QPen(kWood, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(47.0, 2.0), QPointF(24.5, 9.6));
    QPolygonF bristles;
    bristles << QPointF(22.5, 7.8) << QPointF(25.5, 12.0) << QPointF(9.5, 17.0)
             << QPointF(2.5, 11.5);
    QLinearGradient straw(QPointF(24, 9), QPointF(4, 15));
    straw.setColorAt(0.0, kStraw);
    straw.setColorAt(1.0, kStraw.lighter(115));
    p.setPen(QPen(kStrawDark, 0.8));
    p.setBrush(straw);
    p.drawPolygon(bristles);
    // Single straws, so that the head reads as a broom even this small.
    p.setPen(QPen(kStrawDark, 0.6));
    for (double t : {0.25, 0.5, 0.75}) {
        const QPointF from = QPointF(22.5, 7.8) * (1 - t) + QPointF(25.5, 12.0) * t;
        const QPointF to = QPointF(2.5, 11.5) * (1 - t) + QPointF(9.5, 17.0) * t;
        p.drawLine(from, to);
    }
    // The binding where the straw meets the handle.
    p.setPen(QPen(kNavy, 2.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(22.0, 7.6), QPointF(25.4, 12.2));
}

QPixmap banner() {
    QPixmap pixmap = transparent(331, 33);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The left part stays clear: the sweepings of the broom fall across it.
    QFont word;
    word.setFamilies({"Liberation Sans", "Arial", "DejaVu Sans"});
    word.setPixelSize(25);
    word.setBold(true);
    word.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    QPainterPath text;
    text.addText(QPointF(112, 25), word, "QUELLIX");
    QLinearGradient ink(QPointF(0, 4), QPointF(0, 27));
    ink.setColorAt(0.0, kSteel);
    ink.setColorAt(1.0, kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 0x30));
    p.drawPath(text.translated(1.2, 1.2));
    p.setBrush(ink);
    p.drawPath(text);

    const double wordEnd = text.boundingRect().right();
    p.setPen(QPen(kNavy, 1.0));
    p.drawLine(QPointF(112, 29.5), QPointF(wordEnd, 29.5));

    // Bits being swept off the platter towards the word.
    p.setPen(Qt::NoPen);
    double x = wordEnd + 10;
    for (int i = 0; i < 5; ++i, x += 7) {
        p.setBrush(QColor(kSteel.red(), kSteel.green(), kSteel.blue(), 70 + 35 * i));
        p.drawRect(QRectF(x, 17.0 - (i % 2) * 3, 3, 3));
    }
    drawPlatter(p, QRectF(268, 4, 60, 25));
    return pixmap;
}

QPixmap broom() {
    QPixmap pixmap = transparent(49, 24);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawBroom(p);
    return pixmap;
}

// The icon on a 48 x 48 grid: a platter on a blue tile, swept by the broom.
QPixmap icon(int size) {
    QPixmap pixmap = transparent(size, size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    QLinearGradient tile(QPointF(0, 0), QPointF(0, 48));
    tile.setColorAt(0.0, kSteel);
    tile.setColorAt(1.0, kNavy);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, 46, 46), 8, 8);
    drawPlatter(p, QRectF(7, 9, 34, 30));
    p.translate(0, 22);
    p.scale(48.0 / 49.0, 1.05);
    drawBroom(p);
    return pixmap;
}

}  // namespace

QPixmap quellixBitmap(int id) {
    switch (id) {
        case 101:
            return banner();
        case 102:
            return broom();
        default:
            return {};
    }
}

QPixmap quellixIconPixmap(int size) {
    return icon(size);
}

QIcon quellixIcon() {
    QIcon result;
    for (int size : {16, 24, 32, 48})
        result.addPixmap(icon(size));
    return result;
}

// --- the coverage picture ---------------------------------------------------------------------

namespace {

struct StateLook {
    BlockState state;
    QColor colour;
    const char* words;
};

// Later entries tell of a shortfall and win where a cell of the strip holds several states.
const StateLook kStates[] = {
    {BlockState::Used, QColor(0xC9, 0xCF, 0xD8), "in use when the pass began"},
    {BlockState::Verified, QColor(0x2E, 0x8B, 0x57), "overwritten and read back as written"},
    {BlockState::Discarded, QColor(0x6C, 0x8E, 0xBF), "discarded: read back as zeros"},
    {BlockState::Written, QColor(0x9F, 0xD8, 0xAE), "overwritten, not read back"},
    {BlockState::NotReached, QColor(0xF2, 0xB1, 0x34), "not reached by the fill"},
    {BlockState::NotOverwritten, QColor(0xD7, 0x26, 0x3D),
     "not overwritten: read back with other content"},
};

std::size_t rank(BlockState state) {
    for (std::size_t i = 0; i < std::size(kStates); ++i) {
        if (kStates[i].state == state) return i;
    }
    return 0;
}

// The map's pieces painted in order, a later one over an earlier: the state of every byte, as
// runs that begin at each key.
std::map<std::uint64_t, BlockState> painted(const CoverageMap& map) {
    std::map<std::uint64_t, BlockState> runs{{0, BlockState::Used},
                                             {map.deviceBytes, BlockState::Used}};
    for (const CoverageMap::Piece& piece : map.pieces) {
        const std::uint64_t from = std::min(piece.extent.offset, map.deviceBytes);
        const std::uint64_t to = std::min(piece.extent.end(), map.deviceBytes);
        if (to <= from) continue;
        // The state that goes on after the piece, then the piece itself.
        const BlockState after = std::prev(runs.upper_bound(to))->second;
        runs.erase(runs.lower_bound(from), runs.upper_bound(to));
        runs[from] = piece.state;
        if (to < map.deviceBytes) runs[to] = after;
    }
    runs.erase(map.deviceBytes);
    return runs;
}

QString megabytes(std::uint64_t bytes) {
    return QString::fromStdString(Megabytes(static_cast<std::int64_t>(bytes))) + " MB";
}

}  // namespace

QImage quellixCoverageMap(const DriveAccount& drive) {
    const CoverageMap& map = drive.map;
    if (map.deviceBytes == 0) return {};
    constexpr int kMargin = 16, kColumns = 1000, kRows = 8, kRowHeight = 22, kRowGap = 4;
    constexpr int kTitle = 44, kLegendLine = 20;
    constexpr int kCells = kColumns * kRows;
    const int stripHeight = kRows * (kRowHeight + kRowGap);
    const int legendTop = kMargin + kTitle + stripHeight + 8;
    QImage image(kColumns + 2 * kMargin,
                 legendTop + static_cast<int>(std::size(kStates)) * kLegendLine + kMargin,
                 QImage::Format_RGB32);
    image.fill(Qt::white);

    // Every cell stands for an equal share of the device and shows the state of highest rank
    // found in it; the legend counts bytes.
    std::vector<std::size_t> cells(kCells, 0);
    std::vector<std::uint64_t> bytes(std::size(kStates), 0);
    const auto runs = painted(map);
    const double perCell = static_cast<double>(map.deviceBytes) / kCells;
    for (auto it = runs.begin(); it != runs.end(); ++it) {
        const std::uint64_t end =
            std::next(it) == runs.end() ? map.deviceBytes : std::next(it)->first;
        const std::size_t r = rank(it->second);
        bytes[r] += end - it->first;
        const auto first = static_cast<std::size_t>(static_cast<double>(it->first) / perCell);
        const auto last = std::min<std::size_t>(
            kCells - 1, static_cast<std::size_t>(static_cast<double>(end - 1) / perCell));
        for (std::size_t c = first; c <= last; ++c)
            cells[c] = std::max(cells[c], r);
    }

    QPainter p(&image);
    QFont font;
    font.setFamilies({"Liberation Sans", "Arial", "DejaVu Sans"});
    font.setPixelSize(14);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kNavy);
    std::string title = drive.root.substr(0, 2) + " " + drive.facts.mountPoint + "  (" +
                        drive.facts.fsType + ", " + drive.facts.device + ")";
    p.drawText(QPointF(kMargin, kMargin + 14), QString::fromStdString(title));
    font.setBold(false);
    font.setPixelSize(12);
    p.setFont(font);
    p.drawText(QPointF(kMargin, kMargin + 32),
               QString("%1 of the device, from its start (top left) to its end (bottom right), "
                       "after the %2")
                   .arg(megabytes(map.deviceBytes), QString::fromStdString(map.pass)));

    for (int c = 0; c < kCells; ++c) {
        const int x = kMargin + c % kColumns;
        const int y = kMargin + kTitle + (c / kColumns) * (kRowHeight + kRowGap);
        p.fillRect(x, y, 1, kRowHeight, kStates[cells[static_cast<std::size_t>(c)]].colour);
    }

    for (std::size_t i = 0; i < std::size(kStates); ++i) {
        const int y = legendTop + static_cast<int>(i) * kLegendLine;
        p.fillRect(kMargin, y, 14, 14, kStates[i].colour);
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawRect(kMargin, y, 14, 14);
        p.setPen(Qt::black);
        p.drawText(QPointF(kMargin + 24, y + 12),
                   QString("%1: %2").arg(kStates[i].words, megabytes(bytes[i])));
    }
    return image;
}
