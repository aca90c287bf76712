import QtQuick 2.4
import QtQuick.Controls 1.2
import QtQuick.Layouts 1.1
import QtQuick.Window 2.2
import Qt.labs.settings 1.0

// Which settings are shared with the other participants of a collaborative session.
Window {
    id: collaborativeDialog
    objectName: "collaborativeDialog"
    title: "Shared Settings"
    width: layout.implicitWidth + 24
    height: layout.implicitHeight + 24
    minimumWidth: layout.implicitWidth + 24
    minimumHeight: layout.implicitHeight + 24

    signal accepted()

    property alias hudIsShared: hudIsSharedBox.checked
    property alias flyModeIsShared: flyModeIsSharedBox.checked
    property alias floorVisibleIsShared: floorVisibleIsSharedBox.checked
    property alias enableVolRendIsShared: enableVolRendIsSharedBox.checked
    property alias particleRadiusFactorIsShared: particleRadiusFactorIsSharedBox.checked
    property alias particleSpeedFactorIsShared: particleSpeedFactorIsSharedBox.checked

    // The values when the dialog was opened; Cancel and closing go back to them.
    property var saved: []

    function boxes() {
        return [hudIsSharedBox, flyModeIsSharedBox, floorVisibleIsSharedBox, enableVolRendIsSharedBox,
                particleRadiusFactorIsSharedBox, particleSpeedFactorIsSharedBox]
    }

    function saveValues() {
        saved = boxes().map(function (box) { return box.checked })
    }

    function restoreValues() {
        var all = boxes()
        for (var i = 0; i < saved.length && i < all.length; ++i)
            all[i].checked = saved[i]
    }

    function accept() {
        collaborativeDialog.hide()
        collaborativeDialog.accepted()
    }

    function reject() {
        restoreValues()
        collaborativeDialog.hide()
    }

    onClosing: restoreValues()

    Settings {
        category: "myCollaborativeSettings"
        property alias hudIsShared: hudIsSharedBox.checked
        property alias flyModeIsShared: flyModeIsSharedBox.checked
        property alias floorVisibleIsShared: floorVisibleIsSharedBox.checked
        property alias enableVolRendIsShared: enableVolRendIsSharedBox.checked
        property alias particleRadiusFactorIsShared: particleRadiusFactorIsSharedBox.checked
        property alias particleSpeedFactorIsShared: particleSpeedFactorIsSharedBox.checked
    }

    ColumnLayout {
        id: layout
        anchors.fill: parent
        anchors.margins: 12

        CheckBox { id: hudIsSharedBox; objectName: "hudIsShared"; text: "Show/Hide HUD"; checked: true }
        CheckBox { id: flyModeIsSharedBox; objectName: "flyModeIsShared"; text: "Enable/Disable Fly Mode"; checked: true }
        CheckBox { id: floorVisibleIsSharedBox; objectName: "floorVisibleIsShared"; text: "Show/Hide Floor and Ceiling"; checked: true }
        CheckBox { id: enableVolRendIsSharedBox; objectName: "enableVolRendIsShared"; text: "Show/Hide Volume Rendering"; checked: true }
        CheckBox { id: particleRadiusFactorIsSharedBox; objectName: "particleRadiusFactorIsShared"; text: "Increase/Decrease Particle Radius"; checked: true }
        CheckBox { id: particleSpeedFactorIsSharedBox; objectName: "particleSpeedFactorIsShared"; text: "Increase/Decrease Particle Speed"; checked: true }

        RowLayout {
            Layout.alignment: Qt.AlignRight
            Button {
                objectName: "collaborativeOkButton"
                text: "Ok"
                isDefault: true
                onClicked: collaborativeDialog.accept()
            }
            Button {
                objectName: "collaborativeCancelButton"
                text: "Cancel"
                onClicked: collaborativeDialog.reject()
            }
        }
    }
}
