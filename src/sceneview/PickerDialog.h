#pragma once
// The QML text of the generated pickers ("Select scene", "Select frame"): a modal dialog with
// one radio button per entry, or a combo box from ComboThreshold entries on. Every entry stands
// for its index in the list, so equal labels stay distinct choices; every label goes into the
// text as an escaped string literal, so no label can change the dialog's code. The dialog
// destroys itself when it is accepted (after its handler) or rejected.
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class PickerDialog {
 public:
  static constexpr int ComboThreshold = 11;

  // Builds the handler body run on OK from two JavaScript expressions: the chosen index and
  // the chosen entry's label.
  using AcceptHandler = std::function<QString(const QString& chosenIndex, const QString& chosenLabel)>;

  // title: the dialog's title; id: the QML id of the button group or combo box.
  static QString build(const QString& title, const QString& id, const QStringList& labels,
                       const AcceptHandler& onAccepted);
  // The same for UTF-8 labels.
  static QString build(const QString& title, const QString& id, const std::vector<std::string>& labels,
                       const AcceptHandler& onAccepted);

  // A double-quoted QML/JavaScript string literal that reads back as exactly the text.
  static QString stringLiteral(const QString& text);
};
