#include "speech/announcements.h"

#include <QHash>
#include <QStringList>

namespace corvane {

namespace {

struct Announcement {
  QString sentence;
  bool followedByValue;
};

const QHash<QString, Announcement>& announcements() {
  static const QHash<QString, Announcement> table = {
      {QStringLiteral("Label1"), {QStringLiteral("The maximum x coordinate of the data."), false}},
      {QStringLiteral("Label2"), {QStringLiteral("The minimum x coordinate of the data."), false}},
      {QStringLiteral("Label3"), {QStringLiteral("The maximum x is"), true}},
      {QStringLiteral("Label4"), {QStringLiteral("The minimum x is"), true}},
      {QStringLiteral("Label5"), {QStringLiteral("The maximum y coordinate of the data."), false}},
      {QStringLiteral("Label6"), {QStringLiteral("The minimum y coordinate of the data."), false}},
      {QStringLiteral("Label7"), {QStringLiteral("The maximum y is"), true}},
      {QStringLiteral("Label8"), {QStringLiteral("The minimum y is"), true}},
      {QStringLiteral("Label9"), {QStringLiteral("The maximum z coordinate of the data."), false}},
      {QStringLiteral("Label10"), {QStringLiteral("The minimum z coordinate of the data."), false}},
      {QStringLiteral("Label11"), {QStringLiteral("The maximum z is"), true}},
      {QStringLiteral("Label12"), {QStringLiteral("The minimum z is"), true}},
      {QStringLiteral("Label15"),
       {QStringLiteral("Returns to default brightness settings."), false}},
      {QStringLiteral("Label16"), {QStringLiteral("Returns to default point width."), false}},
  };
  return table;
}

}  // namespace

QString labelAnnouncement(const QString& labelName, const QString& labelText) {
  const auto found = announcements().constFind(labelName);
  if (found == announcements().constEnd()) return {};
  return found->followedByValue ? found->sentence + labelText : found->sentence;
}

const QStringList& speakingLabels() {
  static const QStringList names = [] {
    QStringList list;
    for (int i : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15, 16}) {
      list << QStringLiteral("Label%1").arg(i);
    }
    return list;
  }();
  return names;
}

}  // namespace corvane
