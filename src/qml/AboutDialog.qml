import QtQuick 2.4
import QtQuick.Controls 1.2
import QtQuick.Layouts 1.1
import QtQuick.Window 2.2

// The about box; the scene view composes its text (version, VR hardware vendor).
Window {
    id: aboutDialog
    objectName: "aboutDialog"
    title: "About Mavolin Quonix Virtual Reality"
    modality: Qt.ApplicationModal
    width: 400
    height: 300
    minimumWidth: 400
    minimumHeight: 300
    maximumWidth: 400
    maximumHeight: 300

    function setText(text) {
        aboutText.text = text
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 12

        TextArea {
            id: aboutText
            objectName: "aboutText"
            Layout.fillWidth: true
            Layout.fillHeight: true
            readOnly: true
            textFormat: TextEdit.RichText
            wrapMode: TextEdit.Wrap
            onLinkActivated: Qt.openUrlExternally(link)
        }

        Button {
            objectName: "aboutOkButton"
            Layout.alignment: Qt.AlignRight
            text: "Ok"
            isDefault: true
            onClicked: aboutDialog.hide()
        }
    }
}
