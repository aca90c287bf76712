import QtQuick 2.4
import QtQuick.Controls 1.2
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.1
import QtQuick.Window 2.2
import Qt.labs.settings 1.0

// The user's VR settings. The scene view reads the controls by object name at start-up and
// takes the values again through its settings() call when Ok is pressed.
Window {
    id: settingsDialog
    objectName: "settingsDialog"
    title: "Settings"
    modality: Qt.WindowModal
    width: 520
    height: layout.implicitHeight + 24
    minimumWidth: layout.implicitWidth + 24
    minimumHeight: layout.implicitHeight + 24

    signal accepted()

    property alias volumeRenderingQuality: volumeRenderingQualitySlider.value
    property alias isoSurfaceOpacity: isoSurfaceOpacitySlider.value
    property alias accurateVolumeClipping: accurateVolumeClippingBox.checked
    property alias ceilTexFileName: ceilTexFileNameField.text
    property alias ceilTexScale: ceilTexScaleField.text
    property alias floorTexFileName: floorTexFileNameField.text
    property alias floorTexScale: floorTexScaleField.text
    property alias swapLeftRight: swapLeftRightBox.checked
    property alias adoptSceneView: adoptSceneViewBox.checked
    property alias snappingAngle: snappingAngleSlider.value
    property alias maxSceneMinification: maxSceneMinificationField.text
    property alias maxSceneMagnification: maxSceneMagnificationField.text

    // The values when the dialog was opened; Cancel and closing go back to them.
    property var saved: ({})

    function saveValues() {
        saved = {
            "volumeRenderingQuality": volumeRenderingQuality,
            "isoSurfaceOpacity": isoSurfaceOpacity,
            "accurateVolumeClipping": accurateVolumeClipping,
            "ceilTexFileName": ceilTexFileName,
            "ceilTexScale": ceilTexScale,
            "floorTexFileName": floorTexFileName,
            "floorTexScale": floorTexScale,
            "swapLeftRight": swapLeftRight,
            "adoptSceneView": adoptSceneView,
            "snappingAngle": snappingAngle,
            "maxSceneMinification": maxSceneMinification,
            "maxSceneMagnification": maxSceneMagnification
        }
    }

    function restoreValues() {
        if (saved.volumeRenderingQuality === undefined)
            return
        volumeRenderingQuality = saved.volumeRenderingQuality
        isoSurfaceOpacity = saved.isoSurfaceOpacity
        accurateVolumeClipping = saved.accurateVolumeClipping
        ceilTexFileName = saved.ceilTexFileName
        ceilTexScale = saved.ceilTexScale
        floorTexFileName = saved.floorTexFileName
        floorTexScale = saved.floorTexScale
        swapLeftRight = saved.swapLeftRight
        adoptSceneView = saved.adoptSceneView
        snappingAngle = saved.snappingAngle
        maxSceneMinification = saved.maxSceneMinification
        maxSceneMagnification = saved.maxSceneMagnification
    }

    // Texture scales: at least 0.001.
    function boundScale(field) {
        var value = parseFloat(field.text)
        if (!isNaN(value) && value < 0.001)
            field.text = "0.001"
    }

    // Scale limits: at least 1.0.
    function boundLimit(field) {
        var value = parseFloat(field.text)
        if (!isNaN(value) && value < 1.0)
            field.text = "1.0"
    }

    function accept() {
        if (maxSceneMinification === "" && saved.maxSceneMinification !== undefined)
            maxSceneMinification = saved.maxSceneMinification
        if (maxSceneMagnification === "" && saved.maxSceneMagnification !== undefined)
            maxSceneMagnification = saved.maxSceneMagnification
        boundScale(ceilTexScaleField)
        boundScale(floorTexScaleField)
        boundLimit(maxSceneMinificationField)
        boundLimit(maxSceneMagnificationField)
        settingsDialog.hide()
        settingsDialog.accepted()
    }

    function reject() {
        restoreValues()
        settingsDialog.hide()
    }

    onClosing: restoreValues()

    Settings {
        category: "mySettings"
        property alias volumeRenderingQuality: volumeRenderingQualitySlider.value
        property alias isoSurfaceOpacity: isoSurfaceOpacitySlider.value
        property alias accurateVolumeClipping: accurateVolumeClippingBox.checked
        property alias ceilTexFileName: ceilTexFileNameField.text
        property alias ceilTexScale: ceilTexScaleField.text
        property alias floorTexFileName: floorTexFileNameField.text
        property alias floorTexScale: floorTexScaleField.text
        property alias swapLeftRight: swapLeftRightBox.checked
        property alias adoptSceneView: adoptSceneViewBox.checked
        property alias snappingAngle: snappingAngleSlider.value
        property alias maxSceneMinification: maxSceneMinificationField.text
        property alias maxSceneMagnification: maxSceneMagnificationField.text
    }

    FileDialog {
        id: ceilTexFileDialog
        objectName: "ceilTexFileDialog"
        title: "Please choose a file"
        nameFilters: ["Image files (*.png)"]
        onAccepted: ceilTexFileNameField.text = ceilTexFileDialog.fileUrl.toString()
    }

    FileDialog {
        id: floorTexFileDialog
        objectName: "floorTexFileDialog"
        title: "Please choose a file"
        nameFilters: ["Image files (*.png)"]
        onAccepted: floorTexFileNameField.text = floorTexFileDialog.fileUrl.toString()
    }

    ColumnLayout {
        id: layout
        anchors.fill: parent
        anchors.margins: 12

        GridLayout {
            columns: 3
            Layout.fillWidth: true

            Label { text: "Volume Rendering Quality" }
            Slider {
                id: volumeRenderingQualitySlider
                objectName: "volumeRenderingQuality"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                minimumValue: 0.1
                maximumValue: 1.0
                value: 0.5
            }

            Label { text: "Isosurface Opacity" }
            Slider {
                id: isoSurfaceOpacitySlider
                objectName: "isoSurfaceOpacity"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                minimumValue: 0.01
                maximumValue: 1.0
                value: 0.1
            }

            Label { text: "Precise Volume Bounds" }
            CheckBox {
                id: accurateVolumeClippingBox
                objectName: "accurateVolumeClipping"
                Layout.columnSpan: 2
                checked: true
            }

            Label { text: "Ceiling Texture" }
            TextField {
                id: ceilTexFileNameField
                objectName: "ceilTexFileName"
                Layout.fillWidth: true
            }
            Button {
                text: "Choose"
                onClicked: ceilTexFileDialog.open()
            }

            Label { text: "Ceiling Texture Scale" }
            TextField {
                id: ceilTexScaleField
                objectName: "ceilTexScale"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                text: "1.0"
                validator: RegExpValidator { regExp: /^\d*\.?\d*$/ }
                onEditingFinished: boundScale(ceilTexScaleField)
            }

            Label { text: "Floor Texture" }
            TextField {
                id: floorTexFileNameField
                objectName: "floorTexFileName"
                Layout.fillWidth: true
            }
            Button {
                text: "Choose"
                onClicked: floorTexFileDialog.open()
            }

            Label { text: "Floor Texture Scale" }
            TextField {
                id: floorTexScaleField
                objectName: "floorTexScale"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                text: "1.0"
                validator: RegExpValidator { regExp: /^\d*\.?\d*$/ }
                onEditingFinished: boundScale(floorTexScaleField)
            }

            Label { text: "Swap Left/Right Controller" }
            CheckBox {
                id: swapLeftRightBox
                objectName: "swapLeftRight"
                Layout.columnSpan: 2
                checked: false
            }

            Label { text: "Preserve Scene Orientation" }
            CheckBox {
                id: adoptSceneViewBox
                objectName: "adoptSceneView"
                Layout.columnSpan: 2
                checked: false
            }

            Label { text: "Widget Snapping Force" }
            Slider {
                id: snappingAngleSlider
                objectName: "snappingAngle"
                Layout.columnSpan: 2
                Layout.fillWidth: true
                minimumValue: 0.0
                maximumValue: 20.0
                value: 10.0
            }

            Label { text: "Scene Scale Limits" }
            RowLayout {
                Layout.columnSpan: 2
                Layout.fillWidth: true
                Label { text: "Min." }
                TextField {
                    id: maxSceneMinificationField
                    objectName: "maxSceneMinification"
                    Layout.fillWidth: true
                    text: "20.0"
                    validator: RegExpValidator { regExp: /^([1-9]\d*\.?\d*)?$/ }
                    onEditingFinished: boundLimit(maxSceneMinificationField)
                }
                Label { text: "Mag." }
                TextField {
                    id: maxSceneMagnificationField
                    objectName: "maxSceneMagnification"
                    Layout.fillWidth: true
                    text: "20000.0"
                    validator: RegExpValidator { regExp: /^([1-9]\d*\.?\d*)?$/ }
                    onEditingFinished: boundLimit(maxSceneMagnificationField)
                }
            }
        }

        RowLayout {
            Layout.alignment: Qt.AlignRight
            Button {
                objectName: "settingsOkButton"
                text: "Ok"
                isDefault: true
                onClicked: settingsDialog.accept()
            }
            Button {
                objectName: "settingsCancelButton"
                text: "Cancel"
                onClicked: settingsDialog.reject()
            }
        }
    }
}
