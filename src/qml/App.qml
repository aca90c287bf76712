import QtQuick 2.4
import QtQuick.Controls 1.2
import QtQuick.Controls.Styles 1.3
import QtQuick.Layouts 1.1
import QtQuick.Dialogs 1.2
import SceneView 1.0
import Qt.labs.settings 1.0
import QtQuick.Window 2.2

// The main window. It draws nothing over the scene view: the headset mirror, drawn into the
// window before Qt Quick renders, shows through the empty background.
ApplicationWindow {
    id: appWindow
    objectName: "appWindow"
    title: "Mavolin Quonix Virtual Reality"
    width: 1280
    height: 720
    style: ApplicationWindowStyle {
        background: Item {}
    }

    // Shows a picker the scene view generated (nothing for an empty text). Made here, in the
    // window's context, a picker stays alive when the picker that asked for it is destroyed.
    function showPicker(text, name) {
        if (text !== "") {
            var picker = Qt.createQmlObject(text, appWindow, name)
            picker.visible = true
        }
    }

    // Opens a scene file: the scene view returns the scene picker's QML, or nothing.
    function openFile(url) {
        closeFileAction.enabled = false
        closeServerAction.enabled = false
        switchSceneAction.enabled = false
        showPicker(sceneView.openFileContinuation1(url), "selectSceneDialog")
    }

    // Opens a server scene; Switch Scene keeps its state until the open completes.
    function openServer(host, port, alwaysShowDialog) {
        closeFileAction.enabled = false
        closeServerAction.enabled = false
        showPicker(sceneView.openServerContinuation1(host, port, alwaysShowDialog), "selectSceneDialog")
    }

    onClosing: sceneView.closeServerScene()

    SettingsDialog {
        id: settingsDialog
        color: appWindow.color
        onAccepted: sceneView.settings(settingsDialog.volumeRenderingQuality,
                                       settingsDialog.floorTexScale,
                                       settingsDialog.ceilTexScale,
                                       settingsDialog.accurateVolumeClipping,
                                       settingsDialog.floorTexFileName,
                                       settingsDialog.ceilTexFileName,
                                       settingsDialog.swapLeftRight,
                                       settingsDialog.adoptSceneView,
                                       settingsDialog.isoSurfaceOpacity,
                                       settingsDialog.snappingAngle,
                                       settingsDialog.maxSceneMinification,
                                       settingsDialog.maxSceneMagnification)
    }

    CollaborativeDialog {
        id: collaborativeDialog
        color: appWindow.color
        onAccepted: sceneView.collaborativeSettings(collaborativeDialog.hudIsShared,
                                                    collaborativeDialog.flyModeIsShared,
                                                    collaborativeDialog.floorVisibleIsShared,
                                                    collaborativeDialog.enableVolRendIsShared,
                                                    collaborativeDialog.particleRadiusFactorIsShared,
                                                    collaborativeDialog.particleSpeedFactorIsShared)
    }

    AboutDialog {
        id: aboutDialog
        color: appWindow.color
    }

    ServerDialog {
        id: serverDialog
    }

    FileDialog {
        id: openSceneFileDialog
        objectName: "openSceneFileDialog"
        title: "Open Scene File"
        selectMultiple: false
        selectFolder: false
        selectExisting: true
        nameFilters: ["Scene files (*.sce)"]
        onAccepted: appWindow.openFile(openSceneFileDialog.fileUrl)
    }

    // Error texts carry names from files and servers: the boxes guess rich text from any tag, so
    // a text that could pass for markup is handed over escaped, to show exactly as it is.
    function shownAsText(text) {
        if (text.indexOf("<") < 0)
            return text
        var escaped = text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
                          .replace(/"/g, "&quot;").replace(/\n/g, "<br>")
        return "<p>" + escaped + "</p>"
    }

    MessageDialog {
        id: errorDialog
        objectName: "errorDialog"
        title: "Mavolin Quonix Virtual Reality"
        text: "An unknown error"
        icon: StandardIcon.Critical
    }

    // Closing this box in any way ends the program.
    MessageDialog {
        id: fatalDialog
        objectName: "fatalDialog"
        title: "Mavolin Quonix Virtual Reality"
        text: "An unknown error"
        icon: StandardIcon.Critical
        onAccepted: Qt.quit()
        onRejected: Qt.quit()
    }

    Action {
        id: openFileAction
        objectName: "openFileAction"
        text: "&Open"
        tooltip: "Opens an .sce file"
        shortcut: "Ctrl+O"
        onTriggered: openSceneFileDialog.open()
    }

    Action {
        id: closeFileAction
        objectName: "closeFileAction"
        text: "&Close"
        tooltip: "Closes current file"
        shortcut: "Ctrl+F4"
        enabled: false
        onTriggered: {
            closeFileAction.enabled = false
            switchSceneAction.enabled = false
            sceneView.reset()
        }
    }

    Action {
        id: quitAction
        objectName: "quitAction"
        text: "&Quit"
        shortcut: "Ctrl+Q"
        onTriggered: Qt.quit()
    }

    Action {
        id: aboutAction
        objectName: "aboutAction"
        text: "About Mavolin Quonix Virtual Reality"
        shortcut: "F1"
        onTriggered: {
            aboutDialog.setText(sceneView.getUpdatedAboutDialogText())
            aboutDialog.show()
        }
    }

    Action {
        id: openServerAction
        objectName: "openServerAction"
        text: "Connect"
        tooltip: "Connects to Quonix server"
        shortcut: "Ctrl+C"
        onTriggered: serverDialog.open()
    }

    Action {
        id: closeServerAction
        objectName: "closeServerAction"
        text: "Disconnect"
        tooltip: "Disconnects from Quonix server"
        shortcut: "Ctrl+D"
        enabled: false
        onTriggered: {
            closeServerAction.enabled = false
            switchSceneAction.enabled = false
            sceneView.reset()
        }
    }

    Action {
        id: switchSceneAction
        objectName: "switchSceneAction"
        text: "Switch Scene"
        tooltip: "Switches current scene"
        shortcut: "Ctrl+S"
        enabled: false
        onTriggered: sceneView.switchScene()
    }

    Action {
        id: quickStartAction
        objectName: "quickStartAction"
        text: "Quick Start"
        tooltip: "Open Quickstart slides"
        shortcut: "Ctrl+T"
        onTriggered: sceneView.quickStart()
    }

    Action {
        id: settingsAction
        objectName: "settingsAction"
        text: "Settings..."
        onTriggered: {
            settingsDialog.show()
            settingsDialog.saveValues()
        }
    }

    Action {
        id: collaborativeAction
        objectName: "collaborativeAction"
        text: "Collaborative..."
        onTriggered: {
            collaborativeDialog.show()
            collaborativeDialog.saveValues()
        }
    }

    menuBar: MenuBar {
        objectName: "menuBar"
        Menu {
            title: "&File"
            MenuItem { action: openFileAction }
            MenuItem { action: closeFileAction }
            MenuSeparator {}
            MenuItem { action: openServerAction }
            MenuItem { action: closeServerAction }
            MenuSeparator {}
            MenuItem { action: switchSceneAction }
            MenuSeparator {}
            MenuItem { action: quitAction }
        }
        Menu {
            title: "&Tools"
            MenuItem { action: settingsAction }
            MenuItem { action: collaborativeAction }
        }
        Menu {
            title: "&Help"
            MenuItem { action: aboutAction }
            MenuItem { action: quickStartAction }
        }
    }

    SceneView {
        id: sceneView
        objectName: "sceneView"
        anchors.fill: parent
        visible: false
        onOpenFileComplete: closeFileAction.enabled = true
        onOpenServerComplete: closeServerAction.enabled = true
        onSwitchScenePossible: switchSceneAction.enabled = true
        onErrorMessage: {
            errorDialog.text = appWindow.shownAsText(error)
            errorDialog.open()
        }
        onFatalError: {
            fatalDialog.text = appWindow.shownAsText(error)
            fatalDialog.open()
        }
    }
}
