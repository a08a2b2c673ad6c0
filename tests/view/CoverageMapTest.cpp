// A drive's coverage picture: a PNG the view draws from the account's map, in which even a small
// stretch that was not overwritten shows.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <sstream>

#include "tests/view/ViewWindow.h"
#include "ui/qt/Artwork.h"
#include "ui/qt/QtDesktop.h"
#include "wipe/RunAccount.h"

namespace {

constexpr std::uint64_t kMiB = 1048576;

DriveAccount mappedDrive() {
    DriveAccount d;
    d.root = "C:\\";
    d.facts.mountPoint = "/srv/data";
    d.facts.fsType = "ext4";
    d.facts.device = "/dev/sdb1";
    d.map.deviceBytes = 100 * kMiB;
    d.map.pass = "quotes pass";
    d.map.pieces = {{{0, 100 * kMiB}, BlockState::Used},
                    {{10 * kMiB, 80 * kMiB}, BlockState::NotReached},
                    {{10 * kMiB, 79 * kMiB}, BlockState::Written},
                    {{10 * kMiB, 79 * kMiB}, BlockState::Verified}};
    return d;
}

int differingPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    }
    return n;
}

TEST(CoverageMap, IsAPngOfTheDriveWhereEvenAFewBlocksNotOverwrittenShow) {
    testApplication();
    std::ostringstream out;
    std::istringstream in;
    QtDesktop::Options options;
    options.headless = true;
    options.out = &out;
    options.err = &out;
    options.in = &in;
    options.terminal = 0;
    QtDesktop desktop(options);

    const DriveAccount healthy = mappedDrive();
    DriveAccount shortOf = healthy;
    // 8 KiB of 100 MiB read back with other content: far less than a cell of the strip.
    shortOf.map.pieces.push_back({{50 * kMiB, 8192}, BlockState::NotOverwritten});

    const std::string png = desktop.CoveragePicture(healthy);
    const QImage decoded = QImage::fromData(QByteArray::fromStdString(png), "PNG");
    ASSERT_FALSE(decoded.isNull());
    const QImage drawn = quellixCoverageMap(healthy).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGB32), drawn);

    const QImage other = quellixCoverageMap(shortOf).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(other.size(), drawn.size());
    // The one cell that holds those blocks takes their colour, all the way down its row.
    EXPECT_GE(differingPixels(drawn, other), 20);

    // Nothing measured, nothing drawn.
    EXPECT_EQ(desktop.CoveragePicture(DriveAccount{}), "");
}

}  // namespace
