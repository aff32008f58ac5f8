#pragma once

#include <QString>

namespace corvane {

// Modal message boxes with an OK button. A box that names no title shows the application's
// title, "Corvane".
class MessageBoxes {
 public:
  enum class Icon { Critical, Information };

  virtual ~MessageBoxes() = default;

  // `details` is extra text the user can unfold (for example what the point file held where
  // reading stopped); the message itself stays as given.
  void critical(const QString& text, const QString& title = {}, const QString& details = {});
  void information(const QString& text, const QString& title = {});

  static QString applicationTitle() { return QStringLiteral("Corvane"); }

 protected:
  // Shows one box and returns when the user has closed it.
  virtual void show(Icon icon, const QString& title, const QString& text,
                    const QString& details) = 0;
};

class QtMessageBoxes : public MessageBoxes {
 protected:
  void show(Icon icon, const QString& title, const QString& text, const QString& details) override;
};

}  // namespace corvane
