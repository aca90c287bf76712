// The generated pickers as QML builds them: any label shows as the text it is (quotes,
// backslashes, line breaks, non-ASCII letters, QML code), the chosen entry is handed on by its
// index, radio buttons up to ten entries and a combo box from eleven, and the dialog goes away
// once it has been answered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QJSEngine>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickItem>
#include <QTcpServer>
#include <QElapsedTimer>

#include <memory>
#include <vector>

#include "PickerDialog.h"

namespace {

// Stands in for the scene view and the window: records what the picker's handler asks for.
class Receiver : public QObject {
  Q_OBJECT

 public:
  QVariantList calls;
  Q_INVOKABLE void choose(const QVariant& index, const QVariant& label) { calls.append(QVariant(QVariantList{index, label})); }
};

const QStringList kAwkward = {
    QString::fromUtf8("x\"); Qt.quit(); (\""),
    QString::fromUtf8("Say \"hello\""),
    QString::fromUtf8("C:\\data\\run 7\\"),
    QString::fromUtf8("two\nlines\r\tand a tab"),
    QString::fromUtf8("Str\xC3\xB6mung \xC3\xBC" "ber \xC3\x98rsted \xE2\x80\x93 \xCE\xA9"),
    QString::fromUtf8("sep\xE2\x80\xA8" "ara\xE2\x80\xA9" "tors") + QChar(0x01) + QChar(0x7f),
    QString::fromUtf8("%1 %2 \\u0041 ' ` ${x}"),
    QString(),
};

class PickerDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QUICK_CONTROLS_STYLE", "Base");
    static int argc = 0;
    app = new QApplication(argc, nullptr);
  }
  static void TearDownTestSuite() {
    delete app;
    app = nullptr;
  }
  void TearDown() override {
    parent.reset();
    engine.reset();
  }
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    engine.reset(new QQmlEngine);
    QObject::connect(engine.get(), &QQmlEngine::quit, [this] { ++quits; });
    engine->rootContext()->setContextProperty("receiver", &receiver);
  }

  // The picker for the labels, made as the window makes it (so that it may destroy itself); its
  // OK hands the chosen index and label to the receiver.
  QObject* create(const QStringList& labels) {
    const QString text = PickerDialog::build("Select scene", "scenes", labels, [](const QString& i, const QString& l) {
      return QStringLiteral("receiver.choose(%1, %2);").arg(i, l);
    });
    QQmlComponent maker(engine.get());
    maker.setData("import QtQuick 2.4\nItem { id: root; function make(text) { return Qt.createQmlObject(text, root, "
                  "\"selectSceneDialog\") } }",
                  QUrl("maker.qml"));
    parent.reset(maker.create());
    EXPECT_TRUE(parent) << maker.errorString().toStdString();
    if (!parent) return nullptr;
    QVariant dialog;
    QMetaObject::invokeMethod(parent.get(), "make", Q_RETURN_ARG(QVariant, dialog), Q_ARG(QVariant, text));
    QObject* object = dialog.value<QObject*>();
    EXPECT_NE(object, nullptr) << text.toStdString();
    return object;
  }

  // As the dialog's button or key does it.
  static void press(QObject* dialog, const char* button) {
    QQmlExpression click(qmlContext(dialog), dialog, QStringLiteral("click(%1)").arg(button));
    click.evaluate();
    EXPECT_FALSE(click.hasError()) << click.error().toString().toStdString();
  }

  static QList<QObject*> buttons(QObject* dialog) {
    QList<QObject*> out;
    for (QObject* o : dialog->findChildren<QObject*>())
      if (o->property("label").isValid() && o->property("value").isValid()) out.append(o);
    return out;
  }

  static QApplication* app;
  std::unique_ptr<QQmlEngine> engine;
  std::unique_ptr<QObject> parent;
  Receiver receiver;
  int quits = 0;
};
QApplication* PickerDialogTest::app = nullptr;

}  // namespace

TEST_F(PickerDialogTest, StringLiteralReadsBackAsTheText) {
  QJSEngine js;
  for (const QString& text : kAwkward) {
    const QString literal = PickerDialog::stringLiteral(text);
    const QJSValue value = js.evaluate(literal);
    EXPECT_FALSE(value.isError()) << literal.toStdString();
    EXPECT_EQ(value.toString(), text) << literal.toStdString();
  }
  EXPECT_EQ(PickerDialog::stringLiteral("a\"b\\c\n").toStdString(), "\"a\\\"b\\\\c\\n\"");
}

TEST_F(PickerDialogTest, RadioButtonsShowEveryLabelAsItIsAndHandOnItsIndex) {
  QPointer<QObject> dialog = create(kAwkward);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->property("title").toString().toStdString(), "Select scene");
  EXPECT_EQ(dialog->property("width").toInt(), 400);
  const QList<QObject*> radios = buttons(dialog);
  ASSERT_EQ(radios.size(), kAwkward.size());
  for (int i = 0; i < radios.size(); ++i) {
    EXPECT_EQ(radios[i]->property("text").toString(), kAwkward[i]) << i;
    EXPECT_EQ(radios[i]->property("value").toInt(), i);
    EXPECT_EQ(radios[i]->property("checked").toBool(), i == 0) << i;
  }
  EXPECT_EQ(quits, 0);

  radios[6]->setProperty("checked", true);
  press(dialog, "StandardButton.Ok");
  ASSERT_EQ(receiver.calls.size(), 1);
  const QVariantList call = receiver.calls[0].toList();
  EXPECT_EQ(call[0].toInt(), 6);
  EXPECT_EQ(call[1].toString(), kAwkward[6]);
  EXPECT_EQ(quits, 0);
  // Answered, the picker destroys itself.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
}

TEST_F(PickerDialogTest, EqualLabelsStayDistinctChoices) {
  QPointer<QObject> dialog = create({"Twin", "Twin"});
  ASSERT_TRUE(dialog);
  buttons(dialog)[1]->setProperty("checked", true);
  press(dialog, "StandardButton.Ok");
  ASSERT_EQ(receiver.calls.size(), 1);
  EXPECT_EQ(receiver.calls[0].toList()[0].toInt(), 1);
}

TEST_F(PickerDialogTest, ElevenEntriesMakeAComboBox) {
  QStringList labels;
  for (int i = 0; i < 10; ++i) labels << QStringLiteral("Frame %1").arg(i);
  {
    QPointer<QObject> dialog = create(labels);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(buttons(dialog).size(), 10);
    delete dialog;
  }
  labels << kAwkward[0] << kAwkward[3];
  QPointer<QObject> dialog = create(labels);
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(buttons(dialog).isEmpty());
  QObject* combo = nullptr;
  for (QObject* o : dialog->findChildren<QObject*>())
    if (o->property("currentIndex").isValid() && o->property("currentText").isValid()) combo = o;
  ASSERT_NE(combo, nullptr);
  EXPECT_EQ(combo->property("width").toInt(), 375);
  EXPECT_EQ(combo->property("count").toInt(), 12);
  for (int i = 0; i < 12; ++i) {
    QVariant text;
    QMetaObject::invokeMethod(combo, "textAt", Q_RETURN_ARG(QVariant, text), Q_ARG(QVariant, i));
    EXPECT_EQ(text.toString(), labels[i]) << i;
  }
  combo->setProperty("currentIndex", 10);
  press(dialog, "StandardButton.Ok");
  ASSERT_EQ(receiver.calls.size(), 1);
  EXPECT_EQ(receiver.calls[0].toList()[0].toInt(), 10);
  EXPECT_EQ(receiver.calls[0].toList()[1].toString(), kAwkward[0]);
  EXPECT_EQ(quits, 0);
}

TEST_F(PickerDialogTest, RejectedPickerGoesWithoutChoosing) {
  QPointer<QObject> dialog = create({"A", "B"});
  ASSERT_TRUE(dialog);
  press(dialog, "StandardButton.Cancel");
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog.isNull());
  EXPECT_TRUE(receiver.calls.isEmpty());
}

#include "PickerDialogTest.moc"

namespace {
// What the picker's controls draw: the texts of its text items, with their formats.
QMap<QString, int> drawnTexts(QObject* dialog) {
  QMap<QString, int> out;
  for (QObject* o : dialog->findChildren<QObject*>())
    if (QString(o->metaObject()->className()).startsWith("QQuickText") && o->property("textFormat").isValid())
      out.insert(o->property("text").toString(), o->property("textFormat").toInt());
  return out;
}
}  // namespace

// Labels from files and servers are text, never markup: nothing is fetched, '&' stays.
TEST_F(PickerDialogTest, MarkupAndAmpersandsShowAsPlainTextAndFetchNothing) {
  QTcpServer listener;
  ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
  const QString image = QStringLiteral("<img src=\"http://127.0.0.1:%1/x.png\">").arg(listener.serverPort());
  const QStringList labels = {image, "<b>bold</b> <font color=red>red</font>", "Heat & Mass, R&D"};
  const int plain = 0;  // Text.PlainText
  for (int entries : {3, 12}) {
    QStringList all = labels;
    while (all.size() < entries) all << QStringLiteral("Frame %1").arg(all.size());
    QPointer<QObject> dialog = create(all);
    ASSERT_TRUE(dialog);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const QMap<QString, int> drawn = drawnTexts(dialog);
    if (entries == 3) {
      for (const QString& label : labels) {
        ASSERT_TRUE(drawn.contains(label)) << label.toStdString();
        EXPECT_EQ(drawn[label], plain) << label.toStdString();
      }
    } else {
      QObject* combo = nullptr;
      for (QObject* o : dialog->findChildren<QObject*>())
        if (o->property("currentIndex").isValid() && o->property("currentText").isValid()) combo = o;
      ASSERT_NE(combo, nullptr);
      combo->setProperty("currentIndex", 2);
      QCoreApplication::processEvents();
      ASSERT_TRUE(drawnTexts(dialog).contains(labels[2]));
      EXPECT_EQ(drawnTexts(dialog)[labels[2]], plain);
      press(dialog, "StandardButton.Ok");
      ASSERT_EQ(receiver.calls.size(), 1);
      EXPECT_EQ(receiver.calls[0].toList()[1].toString(), labels[2]);
    }
    EXPECT_FALSE(listener.hasPendingConnections()) << entries;
    delete dialog;
  }
}
