// The main window as its form lays it out, before any handler runs: every control in its place
// with its caption, colours, ranges, menu and keyboard order.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest/QTest>
#include <optional>

#include "ui_form1.h"

namespace corvane {
namespace {

constexpr int kTwipsPerPixel = 15;

class Form1Layout : public ::testing::Test {
 protected:
  Form1Layout() { ui.setupUi(&window); }

  QWidget* widget(const char* name) const {
    auto* found = window.findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  template <class Widget>
  Widget* get(const char* name) const {
    auto* found = qobject_cast<Widget*>(widget(name));
    EXPECT_NE(found, nullptr) << name << " has the wrong class";
    return found;
  }

  QMainWindow window;
  Ui::Form1 ui;
};

// What a control shows as its caption.
std::optional<QString> captionOf(const QWidget* widget) {
  if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (auto* frame = qobject_cast<const QGroupBox*>(widget)) return frame->title();
  return std::nullopt;
}

// Every control of the window, in twips from the top-left corner of its container (the client
// area or a frame), with its caption where it has one.
struct Placement {
  const char* name;
  const char* className;
  const char* container;
  int left, top, width, height;
  const char* caption;
};

const Placement kPlacements[] = {
    {"Picture1", "corvane::PictureBox", "centralwidget", 360, 120, 7800, 7200, nullptr},
    {"Picture2", "corvane::PictureBox", "centralwidget", 8160, 120, 615, 7215, nullptr},
    {"Command1", "QPushButton", "centralwidget", 7200, 7440, 1455, 375, "Draw"},
    {"Label1", "QLabel", "centralwidget", 360, 7440, 975, 255, "Maximum X"},
    {"Label2", "QLabel", "centralwidget", 360, 7800, 975, 255, "Minimum x"},
    {"Label5", "QLabel", "centralwidget", 2640, 7440, 975, 255, "Maximum Y"},
    {"Label6", "QLabel", "centralwidget", 2640, 7800, 975, 255, "Minimum y"},
    {"Label9", "QLabel", "centralwidget", 4920, 7440, 975, 255, "Maximum Z"},
    {"Label10", "QLabel", "centralwidget", 4920, 7800, 975, 255, "Minimum z"},
    {"Label19", "QLabel", "centralwidget", 4920, 8160, 975, 255, "Mean z"},
    {"Label3", "QLabel", "centralwidget", 1440, 7440, 1095, 255, ""},
    {"Label4", "QLabel", "centralwidget", 1440, 7800, 1095, 255, ""},
    {"Label7", "QLabel", "centralwidget", 3720, 7440, 1095, 255, ""},
    {"Label8", "QLabel", "centralwidget", 3720, 7800, 1095, 255, ""},
    {"Label11", "QLabel", "centralwidget", 6000, 7440, 1095, 255, ""},
    {"Label12", "QLabel", "centralwidget", 6000, 7800, 1095, 255, ""},
    {"Label18", "QLabel", "centralwidget", 6000, 8160, 1095, 255, ""},
    {"Label13", "QLabel", "centralwidget", 360, 8160, 975, 255, "Brightness"},
    {"HScroll1", "QScrollBar", "centralwidget", 1440, 8160, 2175, 255, nullptr},
    {"Command3", "QPushButton", "centralwidget", 3720, 8160, 255, 255, "D"},
    {"Label15", "QLabel", "centralwidget", 3960, 8160, 255, 255, "?"},
    {"Label14", "QLabel", "centralwidget", 360, 8520, 975, 255, "Point Width"},
    {"HScroll2", "QScrollBar", "centralwidget", 1440, 8520, 2175, 255, nullptr},
    {"Command2", "QPushButton", "centralwidget", 3720, 8520, 255, 255, "D"},
    {"Label16", "QLabel", "centralwidget", 3960, 8520, 255, 255, "?"},
    {"Check1", "QCheckBox", "centralwidget", 10680, 8400, 255, 255, ""},
    {"Label17", "QLabel", "centralwidget", 11040, 8400, 615, 255, "Speech"},
    {"Frame1", "QGroupBox", "centralwidget", 12480, 240, 3375, 3615, "Ra"},
    {"Label20", "QLabel", "Frame1", 240, 240, 2775, 255, "Height of Reference Plane"},
    {"Label21", "QLabel", "Frame1", 2280, 240, 735, 255, ""},
    {"HScroll3", "QScrollBar", "Frame1", 240, 480, 1935, 255, nullptr},
    {"Command8", "QPushButton", "Frame1", 2160, 480, 255, 255, "D"},
    {"Command5", "QPushButton", "Frame1", 240, 840, 1215, 375, "Draw"},
    {"Command6", "QPushButton", "Frame1", 1680, 840, 1215, 375, "Calculate"},
    {"List2", "QListWidget", "Frame1", 240, 1320, 2895, 1815, nullptr},
    {"Command9", "QPushButton", "Frame1", 3000, 3240, 255, 255, "c"},
    {"Frame2", "QGroupBox", "centralwidget", 8880, 120, 3495, 7215, "Rn3d"},
    {"Label23", "QLabel", "Frame2", 240, 240, 735, 255, "D50 (mm)"},
    {"Label22", "QLabel", "Frame2", 1080, 240, 735, 255, ""},
    {"Command10", "QPushButton", "Frame2", 2280, 360, 855, 375, "Calculate"},
    {"HScroll4", "QScrollBar", "Frame2", 240, 480, 1935, 255, nullptr},
    {"Label25", "QLabel", "Frame2", 360, 840, 2775, 255, "Rn3d"},
    {"List1", "QListWidget", "Frame2", 360, 1080, 2775, 1620, nullptr},
    {"Command7", "QPushButton", "Frame2", 2880, 2760, 255, 255, "c"},
    {"Label24", "QLabel", "Frame2", 360, 3120, 2775, 255, "Rn"},
    {"List3", "QListWidget", "Frame2", 360, 3360, 2775, 2205, nullptr},
    {"Label26", "QLabel", "Frame2", 360, 5760, 2775, 255, "Rn2D "},
    {"List4", "QListWidget", "Frame2", 360, 6000, 2775, 1035, nullptr},
};

TEST_F(Form1Layout, EveryControlSitsInItsContainerWithItsCaption) {
  for (const Placement& p : kPlacements) {
    SCOPED_TRACE(p.name);
    QWidget* control = widget(p.name);
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), p.className);
    ASSERT_NE(control->parentWidget(), nullptr);
    EXPECT_EQ(control->parentWidget()->objectName(), QLatin1String(p.container));
    const QRect twips(control->x() * kTwipsPerPixel, control->y() * kTwipsPerPixel,
                      control->width() * kTwipsPerPixel, control->height() * kTwipsPerPixel);
    EXPECT_EQ(twips, QRect(p.left, p.top, p.width, p.height));
    if (p.caption != nullptr) {
      EXPECT_EQ(captionOf(control), QString::fromLatin1(p.caption));
    }
  }
}

// No stray control: the client area and the two frames hold exactly the controls above. The
// speech control and the file dialog have no widget of their own.
TEST_F(Form1Layout, HoldsNoControlBeyondTheListedOnes) {
  for (const char* container : {"centralwidget", "Frame1", "Frame2"}) {
    SCOPED_TRACE(container);
    QStringList expected;
    for (const Placement& p : kPlacements) {
      if (qstrcmp(p.container, container) == 0) expected << QString::fromLatin1(p.name);
    }
    QStringList actual;
    for (QWidget* child : widget(container)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      actual << child->objectName();
    }
    expected.sort();
    actual.sort();
    EXPECT_EQ(actual.join(' ').toStdString(), expected.join(' ').toStdString());
  }
}

TEST_F(Form1Layout, ClientAreaShowsEverythingButTheRaPanel) {
  const QRect client = ui.centralwidget->rect();
  EXPECT_EQ(client.size(), QSize(833, 588));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvane"));
  // Only the Ra panel's first pixel column lies inside; its controls are all beyond the edge.
  EXPECT_EQ(client.intersected(ui.Frame1->geometry()).width(), 1);
  for (QWidget* control : ui.Frame1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    SCOPED_TRACE(control->objectName().toStdString());
    const QRect inClient(control->mapTo(ui.centralwidget, QPoint(0, 0)), control->size());
    EXPECT_FALSE(client.intersects(inClient));
  }
  for (QWidget* control : ui.centralwidget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (control == ui.Frame1) continue;
    SCOPED_TRACE(control->objectName().toStdString());
    EXPECT_TRUE(client.contains(control->geometry()));
  }
}

// The colour a label shows: its painted background and the pen of its text.
struct LabelColours {
  const char* name;
  QColor background;
  std::optional<QColor> text;
};

const QColor kTeal(0, 192, 192);
const QColor kGreen(0, 192, 0);
const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);

const LabelColours kLabelColours[] = {
    {"Label1", kTeal, kWhite},   {"Label2", kTeal, kWhite},   {"Label5", kTeal, kWhite},
    {"Label6", kTeal, kWhite},   {"Label9", kTeal, kWhite},   {"Label10", kTeal, kWhite},
    {"Label19", kTeal, kWhite},  {"Label3", kWhite, {}},      {"Label4", kWhite, {}},
    {"Label7", kWhite, {}},      {"Label8", kWhite, {}},      {"Label11", kWhite, {}},
    {"Label12", kWhite, {}},     {"Label18", kWhite, {}},     {"Label21", kWhite, {}},
    {"Label22", kWhite, {}},     {"Label13", kYellow, {}},    {"Label14", kYellow, {}},
    {"Label15", kGreen, {}},     {"Label16", kGreen, {}},     {"Label25", kGreen, kWhite},
    {"Label24", kGreen, kWhite}, {"Label26", kGreen, kWhite},
};

TEST_F(Form1Layout, LabelsShowTheirColours) {
  for (const LabelColours& c : kLabelColours) {
    SCOPED_TRACE(c.name);
    auto* label = get<QLabel>(c.name);
    ASSERT_NE(label, nullptr);
    // Read the background from what is painted, in a corner clear of the text.
    const QImage painted = label->grab().toImage();
    EXPECT_EQ(painted.pixelColor(1, 1), c.background);
    EXPECT_EQ(painted.pixelColor(painted.width() - 2, painted.height() - 2), c.background);
    if (c.text) {
      EXPECT_EQ(label->palette().color(label->foregroundRole()), *c.text);
    }
  }
}

TEST_F(Form1Layout, CaptionLabelsAndHeadingsAreCentred) {
  for (const char* name : {"Label1", "Label2", "Label5", "Label6", "Label9", "Label10", "Label19",
                           "Label15", "Label16", "Label25", "Label24", "Label26"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(get<QLabel>(name)->alignment() & Qt::AlignHCenter);
  }
}

TEST_F(Form1Layout, PanelHeadingsAreBold) {
  const struct {
    const char* name;
    double points;
  } headings[] = {{"Label25", 9.75}, {"Label24", 9.75}, {"Label26", 8.25}};
  for (const auto& heading : headings) {
    SCOPED_TRACE(heading.name);
    QLabel* label = get<QLabel>(heading.name);
    label->ensurePolished();
    EXPECT_TRUE(label->font().bold());
    EXPECT_DOUBLE_EQ(label->font().pointSizeF(), heading.points);
  }
  // Everything else keeps the window's font.
  ui.Label20->ensurePolished();
  EXPECT_EQ(ui.Label20->font(), QApplication::font());
}

// A caption must not run past its control, nor under a control laid over it (the plane height
// sits over the end of "Height of Reference Plane").
TEST_F(Form1Layout, CaptionsFitTheirControls) {
  for (const Placement& p : kPlacements) {
    QWidget* control = widget(p.name);
    const std::optional<QString> caption = captionOf(control);
    if (!caption || caption->isEmpty() || qobject_cast<QGroupBox*>(control)) continue;
    SCOPED_TRACE(p.name);
    control->ensurePolished();
    int room = control->width();
    const auto siblings = control->parentWidget()->children();
    for (qsizetype i = siblings.indexOf(control) + 1; i < siblings.size(); ++i) {
      auto* above = qobject_cast<QWidget*>(siblings[i]);
      const int textRow = control->geometry().center().y();
      if (above && above->x() > control->x() && above->x() < control->geometry().right() &&
          above->y() <= textRow && textRow <= above->geometry().bottom()) {
        room = std::min(room, above->x() - control->x());
      }
    }
    if (qobject_cast<QAbstractButton*>(control)) room -= 4;  // the button's own bevel
    const QFontMetrics metrics = control->fontMetrics();
    EXPECT_LE(metrics.horizontalAdvance(*caption), room);
    EXPECT_LE(metrics.height(), control->height());
  }
}

struct ScrollRange {
  const char* name;
  int minimum, maximum, singleStep, pageStep, value;
  bool tracking;
};

TEST_F(Form1Layout, ScrollBarsHaveTheirRangesStartPositionsAndKeys) {
  // The reference-plane and sampling-length bars report a change only when the thumb is let go.
  const ScrollRange ranges[] = {
      {"HScroll1", 1, 500, 1, 10, 1, true},
      {"HScroll2", 1, 5, 1, 1, 1, true},
      {"HScroll3", 0, 32767, 1, 1, 0, false},
      {"HScroll4", 1, 30, 1, 1, 1, false},
  };
  for (const ScrollRange& r : ranges) {
    SCOPED_TRACE(r.name);
    auto* bar = get<QScrollBar>(r.name);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    EXPECT_EQ(bar->minimum(), r.minimum);
    EXPECT_EQ(bar->maximum(), r.maximum);
    EXPECT_EQ(bar->singleStep(), r.singleStep);
    EXPECT_EQ(bar->pageStep(), r.pageStep);
    EXPECT_EQ(bar->value(), r.value);
    EXPECT_EQ(bar->hasTracking(), r.tracking);
    // The arrow keys move the thumb the way they point.
    const int middle = (r.minimum + r.maximum) / 2;
    bar->setValue(middle);
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(bar->value(), middle + r.singleStep);
    QTest::keyClick(bar, Qt::Key_Left);
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(bar->value(), middle - r.singleStep);
  }
}

TEST_F(Form1Layout, OnlyTheQuestionMarksHaveTooltips) {
  for (QWidget* control : window.findChildren<QWidget*>()) {
    SCOPED_TRACE(control->objectName().toStdString());
    if (control == ui.Label15) {
      EXPECT_EQ(control->toolTip(), QStringLiteral("Returns to default brightness settings"));
    } else if (control == ui.Label16) {
      EXPECT_EQ(control->toolTip(), QStringLiteral("Returns to default point width"));
    } else {
      EXPECT_TRUE(control->toolTip().isEmpty());
    }
  }
}

TEST_F(Form1Layout, MenuBarHoldsFileAndHelp) {
  // "name text" of each item, in order; every item is a plain command.
  auto itemsOf = [](const QList<QAction*>& actions) {
    QStringList items;
    for (QAction* action : actions) {
      const QObject* named = action->menu() ? static_cast<QObject*>(action->menu()) : action;
      items << named->objectName() + ' ' + action->text();
      EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
      EXPECT_FALSE(action->isCheckable()) << action->text().toStdString();
      EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
    return items.join(", ").toStdString();
  };
  EXPECT_EQ(itemsOf(window.menuBar()->actions()), "menu1 File, menu4 Help");
  EXPECT_EQ(itemsOf(ui.menu1->actions()), "menu2 Open, menu6 Close, menu7 Settings, menu3 Exit");
  EXPECT_EQ(itemsOf(ui.menu4->actions()), "menu5 About");
}

// Tab walks the controls in this order, through both panels, once they are enabled; labels and
// frames are passed over.
TEST_F(Form1Layout, TabVisitsTheControlsInOrder) {
  const QStringList expected{"Command1",  "Picture1", "HScroll1", "HScroll2", "Command2",
                             "Command3",  "Check1",   "HScroll3", "Command5", "Command6",
                             "List2",     "Command7", "Command8", "Command9", "HScroll4",
                             "Command10", "List1",    "Picture2", "List3",    "List4"};
  for (QWidget* control : window.findChildren<QWidget*>()) control->setEnabled(true);
  QStringList visited;
  QWidget* next = ui.Command1;
  do {
    if ((next->focusPolicy() & Qt::TabFocus) && next->isEnabled() && !next->focusProxy()) {
      visited << next->objectName();
    }
    next = next->nextInFocusChain();
  } while (next != ui.Command1 && visited.size() <= expected.size());
  EXPECT_EQ(visited.join(' ').toStdString(), expected.join(' ').toStdString());
}

}  // namespace
}  // namespace corvane
