#pragma once

// The about window: the program's name and version, what it reads, two logos and who to write
// to. It has no commands of its own.

#include <QWidget>

#include "ui_form3.h"

namespace corvane {

class Form3 : public QWidget {
  Q_OBJECT

 public:
  explicit Form3(QWidget* parent = nullptr);

 private:
  Ui::Form3 ui_;
};

}  // namespace corvane
