import QtQuick 2.4
import QtQuick.Controls 1.2
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.1
import Qt.labs.settings 1.0

// Host and port of a simulation server. Remembers the most recently used hosts, newest
// first, and the last port, in the desktop settings store.
Dialog {
    id: serverDialog
    objectName: "serverDialog"
    title: "Mavolin Quonix Virtual Reality server dialog"
    modality: Qt.ApplicationModal
    standardButtons: StandardButton.Ok | StandardButton.Cancel
    width: 450
    height: 130

    property string serializedData: ""
    property int maxEntries: 5

    GridLayout {
        columns: 2
        Label { text: "Host: " }
        ComboBox {
            id: hostBox
            objectName: "hostBox"
            editable: true
            implicitWidth: 350
            textRole: "text"
            // Return in the host field confirms the dialog, as Return elsewhere in it does.
            onAccepted: serverDialog.click(StandardButton.Ok)
            model: ListModel {
                id: hostModel
                ListElement { text: "localhost" }
            }
        }
        Label { text: "Port: " }
        SpinBox {
            id: portField
            objectName: "portField"
            minimumValue: 0
            maximumValue: 65535
            value: 47827
            implicitWidth: 100
        }
    }

    // The port is stored only when the dialog is accepted: Cancel leaves the stored one as it was.
    Settings {
        id: storedConnection
        category: "serverConnection"
        property int port: 47827
        property alias serializedData: serverDialog.serializedData
    }

    // The saved list replaces the default one only when it is a JSON array holding at least
    // one usable host; entries without a non-empty text (and repeats) are dropped.
    function restoreHosts() {
        if (serializedData === "")
            return
        var entries
        try {
            entries = JSON.parse(serializedData)
        } catch (e) {
            console.warn("Ignoring the saved server host list: " + e)
            return
        }
        if (!Array.isArray(entries))
            return
        var hosts = []
        for (var i = 0; i < entries.length && hosts.length < maxEntries; ++i) {
            var entry = entries[i]
            if (entry === null || typeof entry !== "object" || typeof entry.text !== "string")
                continue
            var host = entry.text.trim()
            if (host !== "" && hosts.indexOf(host) < 0)
                hosts.push(host)
        }
        if (hosts.length === 0)
            return
        hostModel.clear()
        for (var j = 0; j < hosts.length; ++j)
            hostModel.append({ "text": hosts[j] })
        hostBox.currentIndex = 0
    }

    // The host goes to the top; an older entry of the same host goes, and so does whatever
    // falls beyond the newest maxEntries.
    function rememberHost(host) {
        for (var i = 0; i < hostModel.count; ++i) {
            if (hostModel.get(i).text === host) {
                hostModel.remove(i)
                break
            }
        }
        if (hostModel.count >= maxEntries)
            hostModel.remove(maxEntries - 1, hostModel.count - maxEntries + 1)
        hostModel.insert(0, { "text": host })
        hostBox.currentIndex = 0
    }

    function saveHosts() {
        var entries = []
        for (var i = 0; i < hostModel.count; ++i)
            entries.push({ "text": hostModel.get(i).text })
        serializedData = JSON.stringify(entries)
    }

    function restoreFields() {
        portField.value = storedConnection.port
        if (hostModel.count > 0)
            hostBox.currentIndex = 0
    }

    Component.onCompleted: {
        restoreHosts()
        restoreFields()
    }

    // Each opening shows what is stored; the host field takes the keyboard.
    onVisibilityChanged: if (visible) {
        restoreFields()
        hostBox.forceActiveFocus()
    }
    onRejected: restoreFields()

    onAccepted: {
        var host = hostBox.editText.trim()
        if (host === "")
            return
        rememberHost(host)
        storedConnection.port = portField.value
        appWindow.openServer(host, portField.value, false)
        saveHosts()
    }
}
