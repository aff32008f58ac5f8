#include "workspace/settings_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <optional>

#include "report/chart_canvas.h"
#include "workspace/surfaces_model.h"

namespace corvane::workspace {
namespace {

// A number as the user writes it: with the regional decimal separator or a point.
std::optional<double> numberIn(const QString& text) {
  bool ok = false;
  double value = QLocale().toDouble(text.trimmed(), &ok);
  if (!ok) value = QLocale::c().toDouble(text.trimmed(), &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

QString lengthText(std::optional<double> value) {
  return value ? report::numberText(*value) : QString();
}

QLabel* message(QWidget* parent, const char* name) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(true);
  label->setStyleSheet(QStringLiteral("color: #b00020"));
  label->hide();
  return label;
}

}  // namespace

SettingsPanel::SettingsPanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("settings"));
  auto* layout = new QVBoxLayout(this);
  // A field under its label, the unit beside it, and the message under it.
  const auto add = [&](const QString& title, QWidget* field, QLabel* unit, QLabel* note) {
    auto* label = new QLabel(title, this);
    label->setBuddy(field);
    field->setAccessibleName(QString(title).remove(QLatin1Char('&')));
    layout->addWidget(label);
    auto* row = new QHBoxLayout;
    row->addWidget(field, 1);
    if (unit != nullptr) row->addWidget(unit);
    layout->addLayout(row);
    if (note != nullptr) layout->addWidget(note);
  };
  const auto lengthField = [this](const char* name) {
    auto* field = new QLineEdit(this);
    field->setObjectName(QString::fromLatin1(name));
    return field;
  };
  cutoff_ = lengthField("cutoff");
  cutoffUnit_ = new QLabel(this);
  cutoffMessage_ = message(this, "cutoffMessage");
  add(tr("&Cut-off"), cutoff_, cutoffUnit_, cutoffMessage_);

  form_ = new QSpinBox(this);
  form_->setObjectName(QStringLiteral("formDegree"));
  form_->setRange(0, kMostFormDegree);
  add(tr("Form &degree"), form_, nullptr, nullptr);

  lambdaS_ = lengthField("lambdaS");
  lambdaS_->setPlaceholderText(tr("off"));
  lambdaSUnit_ = new QLabel(this);
  lambdaSMessage_ = message(this, "lambdaSMessage");
  add(tr("&S-filter"), lambdaS_, lambdaSUnit_, lambdaSMessage_);

  arealCutoff_ = lengthField("arealCutoff");
  arealCutoff_->setPlaceholderText(tr("off"));
  arealCutoffUnit_ = new QLabel(this);
  arealCutoffMessage_ = message(this, "arealCutoffMessage");
  add(tr("&L-filter"), arealCutoff_, arealCutoffUnit_, arealCutoffMessage_);

  robust_ = new QCheckBox(tr("&Robust mean line"), this);
  robust_->setObjectName(QStringLiteral("robust"));
  layout->addWidget(robust_);

  unit_ = new QComboBox(this);
  unit_->setObjectName(QStringLiteral("unit"));
  for (const LengthUnit unit :
       {LengthUnit::Millimetre, LengthUnit::Micrometre, LengthUnit::Metre}) {
    unit_->addItem(unitSymbol(unit), static_cast<int>(unit));
  }
  add(tr("&Unit"), unit_, nullptr, nullptr);
  layout->addStretch(1);

  settings_.standard.cutoff = defaultCutoff(settings_.unit);
  show(settings_);
  for (QLineEdit* field : {cutoff_, lambdaS_, arealCutoff_}) {
    connect(field, &QLineEdit::editingFinished, this, &SettingsPanel::apply);
  }
  connect(form_, &QSpinBox::valueChanged, this, &SettingsPanel::apply);
  connect(robust_, &QCheckBox::toggled, this, &SettingsPanel::apply);
  connect(unit_, &QComboBox::currentIndexChanged, this, &SettingsPanel::unitChosen);
}

void SettingsPanel::show(const AnalysisSettings& settings) {
  showing_ = true;
  cutoff_->setText(report::numberText(settings.standard.cutoff));
  form_->setValue(settings.standard.form);
  lambdaS_->setText(lengthText(settings.standard.lambdaS));
  arealCutoff_->setText(lengthText(settings.standard.arealCutoff));
  robust_->setChecked(settings.standard.robust);
  unit_->setCurrentIndex(unit_->findData(static_cast<int>(settings.unit)));
  for (QLabel* unit : {cutoffUnit_, lambdaSUnit_, arealCutoffUnit_}) {
    unit->setText(unitSymbol(settings.unit));
  }
  for (QLabel* note : {cutoffMessage_, lambdaSMessage_, arealCutoffMessage_}) note->hide();
  showing_ = false;
}

void SettingsPanel::setSettings(const AnalysisSettings& settings) {
  settings_ = settings;
  show(settings_);
  if (changed_) changed_(settings_);
}

void SettingsPanel::unitChosen() {
  if (showing_) return;
  const auto unit = static_cast<LengthUnit>(unit_->currentData().toInt());
  if (unit == settings_.unit) return;
  // The same lengths in the new unit.
  AnalysisSettings next = settings_;
  const double scale = unitsPerMetre(unit) / unitsPerMetre(settings_.unit);
  next.unit = unit;
  next.standard.cutoff *= scale;
  if (next.standard.lambdaS) *next.standard.lambdaS *= scale;
  if (next.standard.arealCutoff) *next.standard.arealCutoff *= scale;
  setSettings(next);
}

void SettingsPanel::apply() {
  if (showing_) return;
  AnalysisSettings next = settings_;
  bool right = true;
  // A refusal shows beside its field and is the field's description, which a screen reader
  // reads with it.
  const auto check = [&right](QWidget* field, QLabel* note, bool ok, const QString& why) {
    note->setText(why);
    note->setVisible(!ok);
    field->setAccessibleDescription(ok ? QString() : why);
    right = right && ok;
  };
  const std::optional<double> cutoff = numberIn(cutoff_->text());
  check(cutoff_, cutoffMessage_, cutoff && *cutoff > 0, tr("a number above 0"));
  if (cutoff && *cutoff > 0) next.standard.cutoff = *cutoff;
  next.standard.form = form_->value();
  next.standard.robust = robust_->isChecked();
  const auto optionalLength = [&](QLineEdit* field, QLabel* note, std::optional<double>& into,
                                  bool belowCutoff) {
    if (field->text().trimmed().isEmpty()) {
      check(field, note, true, QString());
      into.reset();
      return;
    }
    const std::optional<double> value = numberIn(field->text());
    const bool ok = value && *value > 0 && (!belowCutoff || *value < next.standard.cutoff);
    check(field, note, ok,
          belowCutoff ? tr("empty for off, or a number above 0 and below the cut-off")
                      : tr("empty for off, or a number above 0"));
    if (ok) into = value;
  };
  optionalLength(lambdaS_, lambdaSMessage_, next.standard.lambdaS, true);
  optionalLength(arealCutoff_, arealCutoffMessage_, next.standard.arealCutoff, false);
  if (!right) return;
  const StandardSettings& a = next.standard;
  const StandardSettings& b = settings_.standard;
  if (a.cutoff == b.cutoff && a.form == b.form && a.lambdaS == b.lambdaS &&
      a.arealCutoff == b.arealCutoff && a.robust == b.robust) {
    return;
  }
  settings_ = next;
  if (changed_) changed_(settings_);
}

}  // namespace corvane::workspace
