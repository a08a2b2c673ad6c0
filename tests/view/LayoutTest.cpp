// The window's layout as drawn: every control at its place, no visible text clipped, and no
// two controls' visible text or frames running into each other except where the layout overlays
// them on purpose (the option buttons on their coloured bands). Set QUELLIX_SCREENSHOTS to a
// directory to have the drawn window saved there as PNG files.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <cstdlib>

#include "tests/view/ViewWindow.h"
#include "ui/qt/Artwork.h"

namespace {

struct Item {
    std::string name;
    ControlKind kind;
    QRect rect;
};

std::string nameOf(const Control& c) {
    return c.Index >= 0 ? c.Name + "(" + std::to_string(c.Index) + ")" : c.Name;
}

// Where a label's text puts ink, in the window's coordinates.
QRect inkOfLabel(const QLabel* label) {
    const QString s = label->text();
    if (s.trimmed().isEmpty()) return {};
    const QFontMetrics m(label->font());
    const QRect content = label->contentsRect();
    const int advance = m.horizontalAdvance(s);
    int x = content.left();
    if (label->alignment() & Qt::AlignHCenter) x += (content.width() - advance) / 2;
    int baseline = content.top() + m.ascent();
    if (label->alignment() & Qt::AlignVCenter) {
        baseline = content.top() + (content.height() - m.height()) / 2 + m.ascent();
    }
    return m.tightBoundingRect(s).translated(x, baseline).translated(label->pos());
}

// The part of a picture that is not transparent.
QRect inkOfPicture(const QLabel* picture) {
    const QImage image = picture->pixmap().toImage();
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0) ink |= QRect(x, y, 1, 1);
        }
    }
    return ink.translated(picture->pos());
}

std::vector<Item> visibleItems(ViewWindow& v) {
    std::vector<Item> items;
    std::vector<const Control*> all;
    for (const Control* c : v.window->AllControls())
        all.push_back(c);
    for (const Control* c : all) {
        QWidget* widget = v.view().widgetOf(*c);
        if (widget == nullptr || !widget->isVisible()) continue;
        QRect rect = widget->geometry();
        if (c->Kind == ControlKind::Label) rect = inkOfLabel(static_cast<QLabel*>(widget));
        if (c->Kind == ControlKind::Picture) rect = inkOfPicture(static_cast<QLabel*>(widget));
        if (c->Kind == ControlKind::Line) rect &= v.view().form()->rect();
        if (!rect.isEmpty()) items.push_back({nameOf(*c), c->Kind, rect});
    }
    return items;
}

bool overlaidByDesign(const Item& a, const Item& b) {
    auto pair = [&](ControlKind x, ControlKind y) {
        return (a.kind == x && b.kind == y) || (a.kind == y && b.kind == x);
    };
    // The bands lie behind the option buttons; separator lines meet each other.
    return pair(ControlKind::Frame, ControlKind::OptionButton) ||
           pair(ControlKind::Line, ControlKind::Line);
}

void expectNoOverlaps(ViewWindow& v) {
    const auto items = visibleItems(v);
    ASSERT_GT(items.size(), 40u);
    const QRect client = v.view().form()->rect();
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_TRUE(client.contains(items[i].rect)) << items[i].name << " leaves the window";
        for (std::size_t j = i + 1; j < items.size(); ++j) {
            if (overlaidByDesign(items[i], items[j])) continue;
            EXPECT_FALSE(items[i].rect.intersects(items[j].rect))
                << items[i].name << " runs into " << items[j].name;
        }
    }
}

// No label's text reaches beyond its own box, where the next control would cover it.
void expectNothingClipped(ViewWindow& v) {
    for (const Control* c : v.window->AllControls()) {
        auto* label = dynamic_cast<QLabel*>(v.view().widgetOf(*c));
        if (label == nullptr || !label->isVisible() || label->text().isEmpty()) continue;
        const QFontMetrics m(label->font());
        EXPECT_LE(m.horizontalAdvance(label->text()), label->contentsRect().width()) << nameOf(*c);
        if (c->Kind == ControlKind::Label) {
            const QRect ink = inkOfLabel(label);
            EXPECT_TRUE(label->geometry().contains(ink))
                << nameOf(*c) << ": ink " << ink.x() << "," << ink.y() << " " << ink.width() << "x"
                << ink.height() << " in " << label->x() << "," << label->y() << " "
                << label->width() << "x" << label->height();
        }
    }
    for (const Control& box : v.window->chkDrive) {
        auto* check = dynamic_cast<QCheckBox*>(v.view().widgetOf(box));
        ASSERT_NE(check, nullptr);
        EXPECT_LE(check->sizeHint().width(), check->width()) << box.Caption;
    }
}

void saveScreenshot(ViewWindow& v, const std::string& name) {
    const char* dir = std::getenv("QUELLIX_SCREENSHOTS");
    if (dir == nullptr) return;
    v.view().form()->grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
}

TEST(Layout, EveryControlSitsAtItsTwipPlace) {
    ViewWindow v;
    frmQuellix& w = *v.window;
    // Left, Top, Width, Height in twips, 15 to the pixel.
    EXPECT_EQ(v.widget(w.imgDisk)->geometry(), QRect(74, 20, 331, 33));
    EXPECT_EQ(v.widget(w.imgBroom)->geometry(), QRect(112, 0, 49, 24));
    EXPECT_EQ(v.widget(w.cmdHelp)->geometry(), QRect(456, 0, 34, 16));
    EXPECT_EQ(v.widget(w.cmdMinimize)->geometry(), QRect(496, 0, 46, 16));
    EXPECT_EQ(v.widget(w.lineTop)->geometry().top(), 58);
    EXPECT_EQ(v.widget(w.Line3)->geometry(), QRect(172, 58, 1, 161));
    EXPECT_EQ(v.widget(w.Line2)->geometry().top(), 220);
    EXPECT_EQ(v.widget(w.lblCurrentStatus)->geometry(), QRect(94, 266, 429, 24));
    EXPECT_EQ(v.widget(w.progbarCurrent)->geometry(), QRect(97, 308, 426, 8));
    EXPECT_EQ(v.widget(w.progbarTotal)->geometry(), QRect(97, 338, 426, 8));
    EXPECT_EQ(v.widget(w.cmdWipe)->geometry(), QRect(136, 359, 68, 20));
    EXPECT_EQ(v.widget(w.cmdExit)->geometry(), QRect(370, 359, 69, 21));
    EXPECT_EQ(v.widget(w.optRandom[5])->geometry(), QRect(136, 92, 14, 13));
    // The bands meet without overlapping, each behind its option buttons.
    EXPECT_EQ(v.widget(w.frameRed)->geometry().right() + 1, v.widget(w.frameGreen)->x());
    EXPECT_EQ(v.widget(w.frameGreen)->geometry().right() + 1, v.widget(w.frameYellow)->x());
    for (const Control& o : w.optRandom) {
        const Control& band = o.Index == 0   ? w.frameRed
                              : o.Index <= 4 ? w.frameGreen
                                             : w.frameYellow;
        EXPECT_TRUE(v.widget(band)->geometry().contains(v.widget(o)->geometry())) << o.Index;
    }
    // Value labels and bars lie above the headings that run under them.
    QWidget* form = v.view().form();
    const auto children = form->children();
    EXPECT_LT(children.indexOf(v.widget(w.lblTitleFillSize)),
              children.indexOf(v.widget(w.lblFillSize)));
    EXPECT_LT(children.indexOf(v.widget(w.lblTitleCurrentProgress)),
              children.indexOf(v.widget(w.progbarCurrent)));
    EXPECT_LT(children.indexOf(v.widget(w.frameGreen)), children.indexOf(v.widget(w.optRandom[2])));
}

TEST(Layout, IdleWindowHasNoOverlapsAndNothingClipped) {
    ViewWindow v(3);
    expectNoOverlaps(v);
    expectNothingClipped(v);
    saveScreenshot(v, "quellix-idle");
}

TEST(Layout, WindowDuringARunHasNoOverlapsAndNothingClipped) {
    ViewWindow v(6);
    frmQuellix& w = *v.window;
    w.chkDrive[1].Value = 1;
    w.chkDrive[2].Value = 1;
    w.chkExitWhenDone.Value = 1;
    w.lblCurrentDrive.Caption = "D:";
    w.lblFillSize.Caption = "9999";
    w.lblCurrentStatus.Caption = "Filling free-space with random characters ( pass  1 of  2 )";
    w.progbarCurrent.Value = 64;
    w.progbarTotal.Value = 21;
    // The settings are locked while a run goes on.
    for (Control& d : w.chkDrive)
        d.Enabled = false;
    for (Control& o : w.optRandom)
        o.Enabled = false;
    for (Control* c : {&w.chkNewRndTxt, &w.chkToolTip, &w.cmdHelp, &w.cmdWipe})
        c->Enabled = false;
    v.desktop->DoEvents();
    expectNoOverlaps(v);
    expectNothingClipped(v);
    saveScreenshot(v, "quellix-run");
}

TEST(Layout, LongestTextsStayReadable) {
    ViewWindow v(2);
    frmQuellix& w = *v.window;
    w.lblCurrentStatus.Caption = LoadResString(156);
    w.lblCurrentDrive.Caption = "Z:";
    // A drive of several terabytes.
    w.lblFillSize.Caption = "9536743";
    layDrives(w, {{"C: /"}, {"D: /MEDIA/SOMEONE/A-VOLUME-WITH-A-VERY-LONG-NAME"}});
    v.desktop->DoEvents();
    expectNoOverlaps(v);
    expectNothingClipped(v);
    // A shortened mount point keeps its drive letter.
    EXPECT_TRUE(v.widget<QCheckBox>(w.chkDrive[1])->text().startsWith("D: /"));
    saveScreenshot(v, "quellix-long");
}

TEST(Layout, TwoAndThreeColumnsOfDrivesStayClearOfTheRest) {
    for (int count : {8, 16, 24}) {
        SCOPED_TRACE(count);
        ViewWindow v(count);
        expectNoOverlaps(v);
        expectNothingClipped(v);
        saveScreenshot(v, "quellix-" + std::to_string(count) + "-drives");
    }
}

TEST(Layout, DesignedFontsResolveToInstalledOnes) {
    testApplication();
    Control arial;
    const QString sans = QFontInfo(QtView::fontOf(arial)).family();
    EXPECT_TRUE(sans == "Arial" || sans == "Liberation Sans") << sans.toStdString();
    Control small;
    small.FontName = "Small Fonts";
    small.FontSize = 5.25;
    const QFont font = QtView::fontOf(small);
    EXPECT_EQ(font.pixelSize(), 7);
    const QString smallFamily = QFontInfo(font).family();
    EXPECT_TRUE(smallFamily == "Small Fonts" || smallFamily == "Liberation Sans")
        << smallFamily.toStdString();
    arial.FontSize = 8.25;
    EXPECT_EQ(QtView::fontOf(arial).pixelSize(), 11);
}

TEST(Layout, ArtworkHasItsDesignedSizes) {
    testApplication();
    EXPECT_EQ(quellixBitmap(101).size(), QSize(331, 33));
    EXPECT_EQ(quellixBitmap(102).size(), QSize(49, 24));
    EXPECT_TRUE(quellixBitmap(7).isNull());
    EXPECT_FALSE(quellixIcon().pixmap(48, 48).isNull());
    EXPECT_TRUE(quellixIcon().availableSizes().contains(QSize(48, 48)));
}

// The installed icons come from the same drawing at other sizes: the 48 px one must be the window
// icon itself, and every size must fill its square the same way, not a corner of it.
TEST(Layout, IconIsDrawnAtAnySize) {
    testApplication();
    const auto argb = [](const QPixmap& p) {
        return p.toImage().convertToFormat(QImage::Format_ARGB32);
    };
    EXPECT_EQ(argb(quellixIconPixmap(48)), argb(quellixIcon().pixmap(48, 48)));
    for (int size : {16, 48, 256}) {
        const QImage image = argb(quellixIconPixmap(size));
        ASSERT_EQ(image.size(), QSize(size, size));
        int opaque = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                opaque += qAlpha(image.pixel(x, y)) == 255;
        // The tile covers all but a thin rim and its rounded corners.
        EXPECT_GT(opaque, size * size * 7 / 10) << size;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size - 1, size - 1)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
    }
}

}  // namespace
