// The about window: its texts and logos in their places on a white window.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPixmap>

// Named here so this program generates the form class that app/form3.h builds on.
#include "ui_form3.h"

#include "app/form3.h"

namespace corvane {
namespace {

constexpr int kTwipsPerPixel = 15;

class Form3Layout : public ::testing::Test {
 protected:
  QLabel* label(const char* name) const {
    auto* found = about.findChild<QLabel*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  Form3 about;
};

TEST_F(Form3Layout, IsASizableWhiteWindowWithoutMinimiseOrMaximise) {
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
  EXPECT_EQ(about.size(), QSize(366, 446));
  EXPECT_NE(about.minimumSize(), about.maximumSize());
  const Qt::WindowFlags flags = about.windowFlags();
  EXPECT_TRUE(flags & Qt::Window);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(about.grab().toImage().pixelColor(2, 440), QColor(Qt::white));
}

// Positions in twips from the window's top-left corner; the texts the program states about
// itself, word for word. The contact lines are free text and only need to be there.
struct AboutLine {
  const char* name;
  int left, top;
  const char* text;
};

const AboutLine kLines[] = {
    {"Label2", 1320, 240, "Corvane V 1.0"},
    {"Label1", 120, 600,
     "This program is capable of reading point cloud data which consists of x,y,z"},
    {"Label3", 240, 840, "data recorded in ASCII format. This program is especially designed for "},
    {"Label4", 720, 1080, "3D point cloud data files created by Dr. Picza Software."},
    {"Label5", 1560, 5280, nullptr},
    {"Label6", 720, 5520, nullptr},
    {"Label7", 1200, 5760, nullptr},
    {"Label8", 1680, 6000, nullptr},
    {"Label9", 2040, 6360, nullptr},
};

TEST_F(Form3Layout, LinesStandInPlaceSizedToTheirTextAndInsideTheWindow) {
  const QImage window = about.grab().toImage();
  for (const AboutLine& line : kLines) {
    SCOPED_TRACE(line.name);
    QLabel* text = label(line.name);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->pos() * kTwipsPerPixel, QPoint(line.left, line.top));
    if (line.text != nullptr) {
      EXPECT_EQ(text->text(), QString::fromLatin1(line.text));
    } else {
      EXPECT_FALSE(text->text().trimmed().isEmpty());
    }
    EXPECT_EQ(text->size(), text->sizeHint());
    EXPECT_TRUE(about.rect().contains(text->geometry()));
    // The label's background is the window's white, next to its text.
    EXPECT_EQ(window.pixelColor(text->geometry().topLeft()), QColor(Qt::white));
  }
}

TEST_F(Form3Layout, TitleIsBold) {
  QLabel* title = label("Label2");
  EXPECT_TRUE(title->font().bold());
  EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 9.75);
  EXPECT_FALSE(label("Label1")->font().bold());
}

TEST_F(Form3Layout, LogosAreBorderlessAndSizedToTheirPictures) {
  const struct {
    const char* name;
    QPoint twips;
    QSize size;
  } logos[] = {{"Picture1", {840, 1440}, {247, 122}}, {"Picture2", {240, 3240}, {331, 122}}};
  for (const auto& logo : logos) {
    SCOPED_TRACE(logo.name);
    QLabel* picture = label(logo.name);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap().size(), logo.size);
    EXPECT_EQ(picture->geometry(), QRect(logo.twips / kTwipsPerPixel, logo.size));
    EXPECT_EQ(picture->frameShape(), QFrame::NoFrame);
  }
  EXPECT_NE(label("Picture1")->pixmap().toImage(), label("Picture2")->pixmap().toImage());
}

}  // namespace
}  // namespace corvane
