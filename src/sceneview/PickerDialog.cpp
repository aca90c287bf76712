#include "PickerDialog.h"

#include <QTextDocument>

namespace {
const char* const kImports =
    "import QtQuick 2.4;  import QtQuick.Window 2.2;  import QtQuick.Controls 1.2;  "
    "import QtQuick.Layouts 1.1;  import Qt.labs.settings 1.0;  import QtQuick.Dialogs 1.2;  "
    "import QtQuick.Controls.Styles 1.3;  ";

// Labels come from files and servers: each control shows them as plain text, never as markup
// (which could fetch images) or with '&' taken as a mnemonic.
const char* const kPlainRadioStyle =
    "style: RadioButtonStyle {  label: Text {  text: control.text;  textFormat: Text.PlainText  }  }  ";

// The combo box's drop-down items strip mnemonics and then guess the text format; this text
// comes through both steps as the label itself.
QString dropDownText(const QString& label) {
  QString shown = label;
  if (Qt::mightBeRichText(label)) shown = QStringLiteral("<span>") + label.toHtmlEscaped() + QStringLiteral("</span>");
  return shown.replace(QLatin1Char('&'), QLatin1String("&&"));
}
}  // namespace

QString PickerDialog::stringLiteral(const QString& text) {
  QString out;
  out.reserve(text.size() + 2);
  out += QLatin1Char('"');
  for (const QChar c : text) {
    const ushort u = c.unicode();
    switch (u) {
      case '"': out += QLatin1String("\\\""); break;
      case '\\': out += QLatin1String("\\\\"); break;
      case '\n': out += QLatin1String("\\n"); break;
      case '\r': out += QLatin1String("\\r"); break;
      case '\t': out += QLatin1String("\\t"); break;
      default:
        // Other control characters and the two JavaScript line terminators may not stand
        // literally in a string.
        if (u < 0x20 || u == 0x7f || u == 0x2028 || u == 0x2029)
          out += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        else
          out += c;
    }
  }
  out += QLatin1Char('"');
  return out;
}

QString PickerDialog::build(const QString& title, const QString& id, const QStringList& labels,
                            const AcceptHandler& onAccepted) {
  QString text = QLatin1String(kImports);
  const bool radio = labels.size() < ComboThreshold;
  // The height follows the content: the dialog's window is sized before the content's layout
  // has run, and no window manager need enlarge it.
  text += QStringLiteral("Dialog {  width: 400;  height: %1.implicitHeight + 60;  title : %2;  "
                         "modality: Qt.ApplicationModal;  standardButtons : StandardButton.Ok;  ")
              .arg(radio ? QStringLiteral("pickerContent") : id, stringLiteral(title));
  QString handler;
  if (radio) {
    text += QStringLiteral("GroupBox {  id: pickerContent;  ColumnLayout {  ExclusiveGroup { id: %1 }  ").arg(id);
    for (int i = 0; i < labels.size(); ++i) {
      text += QStringLiteral("RadioButton {  property int value: %1;  property string label: %2;  text: %2;  "
                             "exclusiveGroup: %3;  %4%5}  ")
                  .arg(i)
                  .arg(stringLiteral(labels[i]), id, i == 0 ? QStringLiteral("checked: true;  ") : QString(),
                       QLatin1String(kPlainRadioStyle));
    }
    text += QLatin1String("}  }  ");
    handler = onAccepted(id + QLatin1String(".current.value"), id + QLatin1String(".current.label"));
  } else {
    const QString currentLabel = QStringLiteral("%1.model.get(%1.currentIndex).label").arg(id);
    text += QStringLiteral("ComboBox {  id: %1\n  width: 375\n  textRole: \"text\"\n"
                           "  style: ComboBoxStyle {  label: Text {  text: %2;  textFormat: Text.PlainText;  "
                           "verticalAlignment: Text.AlignVCenter;  elide: Text.ElideRight  }  }\n"
                           "  model : ListModel{\n")
                .arg(id, currentLabel);
    for (const QString& label : labels)
      text += QStringLiteral("ListElement { text: %1; label: %2 }\n").arg(stringLiteral(dropDownText(label)), stringLiteral(label));
    text += QLatin1String("}  }  ");
    handler = onAccepted(id + QLatin1String(".currentIndex"), currentLabel);
  }
  // Destroyed only once the handler has run: the next picker is made inside it.
  text += QStringLiteral("onAccepted: {  %1  destroy();  }  onRejected: destroy();  }").arg(handler);
  return text;
}

QString PickerDialog::build(const QString& title, const QString& id, const std::vector<std::string>& labels,
                            const AcceptHandler& onAccepted) {
  QStringList list;
  for (const std::string& label : labels) list << QString::fromStdString(label);
  return build(title, id, list, onAccepted);
}
