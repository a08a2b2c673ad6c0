// A drive's coverage picture: a PNG the view draws from the account's map, in which even a small
// stretch that was not overwritten shows.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>

#include "tests/view/ViewWindow.h"
#include "ui/qt/Artwork.h"
#include "wipe/RunAccount.h"

namespace {

constexpr std::uint64_t kMiB = 1048576;

TEST(CoverageMap, IsAPngOfTheDriveWhereEvenAFewBlocksNotOverwrittenShow) {
    ViewWindow v(1);
    DriveAccount healthy;
    healthy.root = "C:\\";
    healthy.map.deviceBytes = 100 * kMiB;
    healthy.map.pass = "quotes pass";
    healthy.map.pieces = {{{0, 100 * kMiB}, BlockState::Used},
                          {{10 * kMiB, 80 * kMiB}, BlockState::NotReached},
                          {{10 * kMiB, 79 * kMiB}, BlockState::Verified}};
    DriveAccount shortOf = healthy;
    // 8 KiB of 100 MiB read back with other content: far less than a cell of the strip.
    shortOf.map.pieces.push_back({{50 * kMiB, 8192}, BlockState::NotOverwritten});

    const auto rgb = [](const QImage& i) { return i.convertToFormat(QImage::Format_RGB32); };
    const std::string png = v.desktop->CoveragePicture(healthy);
    EXPECT_EQ(rgb(QImage::fromData(QByteArray::fromStdString(png), "PNG")),
              rgb(quellixCoverageMap(healthy)));
    EXPECT_NE(rgb(quellixCoverageMap(shortOf)), rgb(quellixCoverageMap(healthy)));
    // Nothing measured, nothing drawn.
    EXPECT_EQ(v.desktop->CoveragePicture(DriveAccount{}), "");
}

}  // namespace
