#pragma once

#include <QWidget>
#include <functional>

#include "analysis/settings_file.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace corvane::workspace {

// The Settings panel: Cut-off, Form degree, S-filter, L-filter, Robust mean line and Unit, each
// under its label. A field that is not right says why beside it and the settings stay as they
// were; right, every change is handed on at once. Lengths are shown in the chosen unit, and a
// change of unit converts them.
class SettingsPanel : public QWidget {
 public:
  explicit SettingsPanel(QWidget* parent = nullptr);

  const AnalysisSettings& settings() const { return settings_; }
  // Shows these settings (as loaded from a file) and hands them on.
  void setSettings(const AnalysisSettings& settings);
  void onChanged(std::function<void(const AnalysisSettings&)> changed) {
    changed_ = std::move(changed);
  }

 private:
  void apply();
  void unitChosen();
  void show(const AnalysisSettings& settings);

  AnalysisSettings settings_;
  std::function<void(const AnalysisSettings&)> changed_;
  bool showing_ = false;  // while the fields are filled in from settings
  QLineEdit* cutoff_;
  QSpinBox* form_;
  QLineEdit* lambdaS_;
  QLineEdit* arealCutoff_;
  QCheckBox* robust_;
  QComboBox* unit_;
  QLabel *cutoffMessage_, *lambdaSMessage_, *arealCutoffMessage_;
  QLabel *cutoffUnit_, *lambdaSUnit_, *arealCutoffUnit_;
};

}  // namespace corvane::workspace
