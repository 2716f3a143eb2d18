<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>configurator::AbstractTab</name>
    <message>
        <location filename="../configurator/abstracttab.cpp" line="14"/>
        <source>Settings are restored</source>
        <translation>Einstellungen wurden wiederhergestellt</translation>
    </message>
    <message>
        <location filename="../configurator/abstracttab.cpp" line="15"/>
        <source>Settings are applied</source>
        <translation>Einstellungen wurden übernommen</translation>
    </message>
    <message>
        <location filename="../configurator/abstracttab.cpp" line="21"/>
        <source>Can&apos;t open Zentrik Brelko interface.

Please make sure it is connected to your computer.</source>
        <translation>Die Schnittstelle des Zentrik Brelko kann nicht geöffnet werden.

Bitte prüfen Sie, ob das Gerät mit Ihrem Computer verbunden ist.</translation>
    </message>
    <message>
        <location filename="../configurator/abstracttab.cpp" line="26"/>
        <source>Can&apos;t read data from the Zentrik Brelko interface.

Please make sure it is connected to your computer.</source>
        <translation>Von der Schnittstelle des Zentrik Brelko können keine Daten gelesen werden.

Bitte prüfen Sie, ob das Gerät mit Ihrem Computer verbunden ist.</translation>
    </message>
    <message>
        <location filename="../configurator/abstracttab.cpp" line="31"/>
        <source>Can&apos;t write data to the Zentrik Brelko interface.

Please make sure it is connected to your computer.</source>
        <translation>An die Schnittstelle des Zentrik Brelko können keine Daten geschrieben werden.

Bitte prüfen Sie, ob das Gerät mit Ihrem Computer verbunden ist.</translation>
    </message>
    <message>
        <location filename="../configurator/abstracttab.cpp" line="126"/>
        <location filename="../configurator/centralwidget.cpp" line="261"/>
        <location filename="../configurator/centralwidget.cpp" line="267"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>configurator::CentralWidget</name>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="34"/>
        <source>Save and exit</source>
        <translation>Speichern und beenden</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="35"/>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="36"/>
        <source>Please connect your Zentrik Brelko to the USB port of your computer.

</source>
        <translation>Bitte schließen Sie Ihren Zentrik Brelko an einen USB-Anschluss Ihres Computers an.

</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="37"/>
        <source>Make sure that all cables are disconnected from both transceiver and external supply sockets of the Zentrik Brelko.


In case of a problem,
1) Connect the Zentrik Brelko to another USB port of your computer;
2) Try another USB cable.</source>
        <translation>Stellen Sie sicher, dass an den Buchsen für Transceiver und externe Stromversorgung des Zentrik Brelko keine Kabel angeschlossen sind.


Bei Problemen:
1) Schließen Sie den Zentrik Brelko an einen anderen USB-Anschluss Ihres Computers an;
2) Verwenden Sie ein anderes USB-Kabel.</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="41"/>
        <source>Firmware is updating now. Please wait a moment.</source>
        <translation>Die Firmware wird gerade aktualisiert. Bitte warten Sie einen Moment.</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="42"/>
        <source>You should not disconnect your Brelko from PC.
After firmware update Brelko will connect to Brelko Configurator automatically.</source>
        <translation>Trennen Sie den Brelko nicht vom PC.
Nach dem Firmware-Update verbindet sich der Brelko automatisch wieder mit dem Brelko Configurator.</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="86"/>
        <source>Wi-Fi</source>
        <translation>WLAN</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="87"/>
        <source>Networking</source>
        <translation>Netzwerk</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="88"/>
        <location filename="../configurator/centralwidget.cpp" line="315"/>
        <source>Permissions</source>
        <translation>Berechtigungen</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="89"/>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="90"/>
        <source>DDNS</source>
        <translation>DDNS</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="91"/>
        <source>Files</source>
        <translation>Dateien</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="92"/>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="213"/>
        <source>Device connected</source>
        <translation>Gerät verbunden</translation>
    </message>
    <message>
        <location filename="../configurator/centralwidget.cpp" line="243"/>
        <source>Device disconnected</source>
        <translation>Gerät getrennt</translation>
    </message>
</context>
<context>
    <name>configurator::ConnectingTab</name>
    <message>
        <location filename="../configurator/connectingtab.cpp" line="19"/>
        <source>Device access password:</source>
        <translation>Zugangspasswort des Geräts:</translation>
    </message>
    <message>
        <location filename="../configurator/connectingtab.cpp" line="30"/>
        <source>Incoming TCP port (commands):</source>
        <translation>Eingehender TCP-Port (Befehle):</translation>
    </message>
    <message>
        <location filename="../configurator/connectingtab.cpp" line="30"/>
        <source>Incoming UDP port (audio):</source>
        <translation>Eingehender UDP-Port (Audio):</translation>
    </message>
    <message>
        <location filename="../configurator/connectingtab.cpp" line="31"/>
        <source>Incoming UDP port (PTT/CW):</source>
        <translation>Eingehender UDP-Port (PTT/CW):</translation>
    </message>
</context>
<context>
    <name>configurator::DdnsTab</name>
    <message>
        <location filename="../configurator/ddnstab.cpp" line="25"/>
        <source>No-IP (</source>
        <translation>No-IP (</translation>
    </message>
    <message>
        <location filename="../configurator/ddnstab.cpp" line="29"/>
        <source>Use dynamic DNS:</source>
        <translation>Dynamisches DNS verwenden:</translation>
    </message>
    <message>
        <location filename="../configurator/ddnstab.cpp" line="31"/>
        <source>Choose service:</source>
        <translation>Dienst auswählen:</translation>
    </message>
    <message>
        <location filename="../configurator/ddnstab.cpp" line="33"/>
        <source>Dynamic DNS address:</source>
        <translation>DDNS-Adresse:</translation>
    </message>
    <message>
        <location filename="../configurator/ddnstab.cpp" line="35"/>
        <source>Dynamic DNS login:</source>
        <translation>DDNS-Benutzername:</translation>
    </message>
    <message>
        <location filename="../configurator/ddnstab.cpp" line="37"/>
        <source>Dynamic DNS password:</source>
        <translation>DDNS-Passwort:</translation>
    </message>
</context>
<context>
    <name>configurator::DevStatusTab</name>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="13"/>
        <source>Device does not have error</source>
        <translation>Das Gerät meldet keinen Fehler</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="13"/>
        <source>Type: watchdog. Reason: </source>
        <translation>Typ: Watchdog. Ursache: </translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="13"/>
        <source>Disabled</source>
        <translation>Deaktiviert</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="13"/>
        <source>If you want to enable Dynamic DNS client
</source>
        <translation>Um den DDNS-Client einzuschalten,
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="13"/>
        <source>you have to switch to DDNS tab.</source>
        <translation>wechseln Sie bitte zur Registerkarte „DDNS“.</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="13"/>
        <source>Success</source>
        <translation>Erfolgreich</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="13"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="56"/>
        <source>Type: exception. Reason: HardFault</source>
        <translation>Typ: Ausnahme. Ursache: HardFault</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="57"/>
        <source>Type: exception. Reason: MemManageFault</source>
        <translation>Typ: Ausnahme. Ursache: MemManageFault</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="58"/>
        <source>Type: exception. Reason: BusFault</source>
        <translation>Typ: Ausnahme. Ursache: BusFault</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="59"/>
        <source>Type: exception. Reason: UsageFault</source>
        <translation>Typ: Ausnahme. Ursache: UsageFault</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="60"/>
        <source>Type: exception. Reason: DebugMonFault</source>
        <translation>Typ: Ausnahme. Ursache: DebugMonFault</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="61"/>
        <source>Type: exception. Reason: NMI</source>
        <translation>Typ: Ausnahme. Ursache: NMI</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="89"/>
        <source>DNS hostname update successful.
</source>
        <translation>Hostname im DNS erfolgreich aktualisiert.
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="90"/>
        <source>Followed by a space and the IP address it was updated to.</source>
        <translation>Gefolgt von einem Leerzeichen und der IP-Adresse, auf die aktualisiert wurde.</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="92"/>
        <source>IP address is current, no update performed. 
</source>
        <translation>IP-Adresse ist aktuell, keine Aktualisierung durchgeführt. 
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="93"/>
        <source>Followed by a space and the IP address that it is currently set to.</source>
        <translation>Gefolgt von einem Leerzeichen und der IP-Adresse, die derzeit eingetragen ist.</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="96"/>
        <source>Hostname supplied does not exist under specified account,
</source>
        <translation>Der angegebene Hostname existiert in diesem Konto nicht.
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="97"/>
        <source>client exit and require user to enter new login
</source>
        <translation>Der Client beendet sich und verlangt neue Anmeldedaten,
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="98"/>
        <source>credentials before performing and additional request.
</source>
        <translation>bevor er eine weitere Anfrage sendet.
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="99"/>
        <source>Invalid username password combination</source>
        <translation>Ungültige Kombination aus Benutzername und Passwort</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="101"/>
        <source>Client disabled.
</source>
        <translation>Client gesperrt.
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="102"/>
        <source>Client should exit and not perform any more updates without user intervention.</source>
        <translation>Der Client sollte sich beenden und ohne Eingreifen des Benutzers keine weiteren Aktualisierungen senden.</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="106"/>
        <source>An update request was sent including a feature that is not
</source>
        <translation>Die Aktualisierungsanfrage enthielt eine Funktion, die diesem
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="107"/>
        <source>available to that particular user such as offline options.</source>
        <translation>Benutzer nicht zur Verfügung steht, z. B. Offline-Optionen.</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="109"/>
        <source>Username is blocked due to abuse. Either for not following our
</source>
        <translation>Der Benutzername wurde wegen Missbrauchs gesperrt, entweder weil die
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="110"/>
        <source>update specifications or disabled due to violation of the No-IP
</source>
        <translation>Aktualisierungsvorgaben nicht eingehalten wurden oder wegen Verstoßes gegen die
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="111"/>
        <source>terms of service. Client should stop sending updates.</source>
        <translation>Nutzungsbedingungen von No-IP. Der Client sollte keine Aktualisierungen mehr senden.</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="113"/>
        <source>A fatal error on our side such as a database outage.
</source>
        <translation>Schwerwiegender Fehler beim Dienst, z. B. ein Datenbankausfall.
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="114"/>
        <source>Retry the update no sooner 30 minutes.</source>
        <translation>Aktualisierung frühestens nach 30 Minuten erneut versuchen.</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="116"/>
        <source>DDNS client could not connect to server.
</source>
        <translation>Der DDNS-Client konnte keine Verbindung zum Server herstellen.
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="117"/>
        <source>You have to check your Internet connection.</source>
        <translation>Bitte prüfen Sie Ihre Internetverbindung.</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="37"/>
        <source>Get last error</source>
        <translation>Letzten Fehler abrufen</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="38"/>
        <location filename="../configurator/devstatustab.cpp" line="174"/>
        <source>Disconnected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="46"/>
        <source>More info...</source>
        <translation>Weitere Infos...</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="55"/>
        <source>Device:</source>
        <translation>Gerät:</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="56"/>
        <source>Hardware version: </source>
        <translation>Hardwareversion: </translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="57"/>
        <source>Firmware version: </source>
        <translation>Firmwareversion: </translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="60"/>
        <source>Wireless state</source>
        <translation>WLAN-Status</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="63"/>
        <source>Signal level (RSSI):</source>
        <translation>Signalstärke (RSSI):</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="65"/>
        <source>Current network settings</source>
        <translation>Aktuelle Netzwerkeinstellungen</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="67"/>
        <source>MAC address:</source>
        <translation>MAC-Adresse:</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="68"/>
        <source>IP address:</source>
        <translation>IP-Adresse:</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="69"/>
        <source>Mask:</source>
        <translation>Netzmaske:</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="70"/>
        <source>Gateway address:</source>
        <translation>Gateway-Adresse:</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="71"/>
        <source>DNS address:</source>
        <translation>DNS-Adresse:</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="73"/>
        <location filename="../configurator/devstatustab.cpp" line="99"/>
        <source>Dynamic DNS</source>
        <translation>Dynamisches DNS</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="75"/>
        <source>Dynamic DNS:</source>
        <translation>Dynamisches DNS:</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="87"/>
        <source>Last error</source>
        <translation>Letzter Fehler</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="89"/>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="164"/>
        <source> dBm</source>
        <translation> dBm</translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="178"/>
        <source>Connecting to: </source>
        <translation>Verbindungsaufbau zu: </translation>
    </message>
    <message>
        <location filename="../configurator/devstatustab.cpp" line="181"/>
        <source>Connected to: </source>
        <translation>Verbunden mit: </translation>
    </message>
</context>
<context>
    <name>configurator::DeviceStatusText</name>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="51"/>
        <source>Device does not have error</source>
        <translation>Das Gerät meldet keinen Fehler</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="53"/>
        <source>Type: watchdog. Reason: </source>
        <translation>Typ: Watchdog. Ursache: </translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="123"/>
        <source>Disabled</source>
        <translation>Deaktiviert</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="124"/>
        <source>If you want to enable Dynamic DNS client
</source>
        <translation>Um den DDNS-Client einzuschalten,
</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="124"/>
        <source>you have to switch to DDNS tab.</source>
        <translation>wechseln Sie bitte zur Registerkarte „DDNS“.</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="132"/>
        <source>Success</source>
        <translation>Erfolgreich</translation>
    </message>
    <message>
        <location filename="../configurator/devicestatustext.cpp" line="132"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
</context>
<context>
    <name>configurator::IfNetworkTab</name>
    <message>
        <location filename="../configurator/ifnetworktab.cpp" line="23"/>
        <source>IP address:</source>
        <translation>IP-Adresse:</translation>
    </message>
    <message>
        <location filename="../configurator/ifnetworktab.cpp" line="23"/>
        <source>IP mask:</source>
        <translation>Netzmaske:</translation>
    </message>
    <message>
        <location filename="../configurator/ifnetworktab.cpp" line="23"/>
        <source>Gateway:</source>
        <translation>Gateway:</translation>
    </message>
    <message>
        <location filename="../configurator/ifnetworktab.cpp" line="23"/>
        <source>DNS:</source>
        <translation>DNS:</translation>
    </message>
</context>
<context>
    <name>configurator::PermItem</name>
    <message>
        <location filename="../configurator/permitem.cpp" line="22"/>
        <source>Enable</source>
        <translation>Aktiv</translation>
    </message>
    <message>
        <location filename="../configurator/permitem.cpp" line="23"/>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <location filename="../configurator/permitem.cpp" line="24"/>
        <source>Work time</source>
        <translation>Arbeitszeit</translation>
    </message>
    <message>
        <location filename="../configurator/permitem.cpp" line="25"/>
        <source>Pause time</source>
        <translation>Pausenzeit</translation>
    </message>
    <message>
        <location filename="../configurator/permitem.cpp" line="26"/>
        <source>CAT</source>
        <translation>CAT</translation>
    </message>
    <message>
        <location filename="../configurator/permitem.cpp" line="27"/>
        <source>PTT</source>
        <translation>PTT</translation>
    </message>
    <message>
        <location filename="../configurator/permitem.cpp" line="28"/>
        <source>TX audio level</source>
        <translation>TX-Audiopegel</translation>
    </message>
    <message>
        <location filename="../configurator/permitem.cpp" line="42"/>
        <source> min</source>
        <translation> min</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../common/languages.cpp" line="56"/>
        <source>English</source>
        <translation>Deutsch</translation>
    </message>
</context>
<context>
    <name>configurator::TabBattons</name>
    <message>
        <location filename="../configurator/tabbattons.cpp" line="8"/>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <location filename="../configurator/tabbattons.cpp" line="9"/>
        <source>Restore</source>
        <translation>Wiederherstellen</translation>
    </message>
</context>
<context>
    <name>configurator::UpdateFwTab</name>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="28"/>
        <source>Browse...</source>
        <translation>Durchsuchen...</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="29"/>
        <source>Update firmware!</source>
        <translation>Firmware aktualisieren!</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="30"/>
        <source>Uploading progress</source>
        <translation>Übertragungsfortschritt</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="32"/>
        <source>Import settings</source>
        <translation>Einstellungen importieren</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="33"/>
        <source>Export settings</source>
        <translation>Einstellungen exportieren</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="34"/>
        <source>Reset to defaults</source>
        <translation>Werkseinstellungen</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="41"/>
        <source>Firmware update</source>
        <translation>Firmware-Update</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="43"/>
        <source>Current firmware version:</source>
        <translation>Aktuelle Firmwareversion:</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="45"/>
        <source>Hardware version:</source>
        <translation>Hardwareversion:</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="47"/>
        <source>File name:</source>
        <translation>Dateiname:</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="55"/>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="83"/>
        <source>We strongly recommend that you update
your Brelko&apos;s firmware to version %1 or higher.
The latest version of the firmware you can download
from the website </source>
        <translation>Wir empfehlen dringend, die Firmware Ihres Brelko
auf Version %1 oder neuer zu aktualisieren.
Die neueste Firmware finden Sie zum Herunterladen
auf der Website </translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="86"/>
        <source>
After that you should choose the &quot;Files&quot; tab
and update firmware.</source>
        <translation>
Wählen Sie danach die Registerkarte „Dateien“
und aktualisieren Sie die Firmware.</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="121"/>
        <source>Update Brelko firmware</source>
        <translation>Brelko-Firmware aktualisieren</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="142"/>
        <source>Open the firmware file</source>
        <translation>Firmware-Datei öffnen</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="143"/>
        <source>Firmware (*.refw);;All files (*.*)</source>
        <translation>Firmware (*.refw);;Alle Dateien (*.*)</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="148"/>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="149"/>
        <location filename="../configurator/updatefwtab.cpp" line="349"/>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="150"/>
        <location filename="../configurator/updatefwtab.cpp" line="350"/>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="160"/>
        <location filename="../configurator/updatefwtab.cpp" line="170"/>
        <location filename="../configurator/updatefwtab.cpp" line="192"/>
        <location filename="../configurator/updatefwtab.cpp" line="196"/>
        <location filename="../configurator/updatefwtab.cpp" line="201"/>
        <location filename="../configurator/updatefwtab.cpp" line="268"/>
        <location filename="../configurator/updatefwtab.cpp" line="315"/>
        <location filename="../configurator/updatefwtab.cpp" line="322"/>
        <location filename="../configurator/updatefwtab.cpp" line="340"/>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="160"/>
        <location filename="../configurator/updatefwtab.cpp" line="192"/>
        <source>Incorrect file size.</source>
        <translation>Ungültige Dateigröße.</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="163"/>
        <source>The firmware update process will now start. It will take several minutes.

Please do not disconnect your Zentrik Brelko from your computer, and do not close this program.

Do you wish to proceed?</source>
        <translation>Die Firmware-Aktualisierung wird jetzt gestartet. Sie dauert einige Minuten.

Bitte trennen Sie Ihren Zentrik Brelko nicht vom Computer und schließen Sie dieses Programm nicht.

Möchten Sie fortfahren?</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="170"/>
        <location filename="../configurator/updatefwtab.cpp" line="315"/>
        <location filename="../configurator/updatefwtab.cpp" line="322"/>
        <source>Can&apos;t open file </source>
        <translation>Datei kann nicht geöffnet werden: </translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="180"/>
        <source>Uploading firmware... It takes several minutes.</source>
        <translation>Firmware wird übertragen... Dies dauert einige Minuten.</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="197"/>
        <source>Unfortunately, the firmware can not be updated:

Not a valid firmware update file. Please open another file.</source>
        <translation>Die Firmware kann leider nicht aktualisiert werden:

Dies ist keine gültige Firmware-Datei. Bitte öffnen Sie eine andere Datei.</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="202"/>
        <source>Unfortunately, the firmware can not be updated:

This firmware update file is incompatible with your device. Please open another file.</source>
        <translation>Die Firmware kann leider nicht aktualisiert werden:

Diese Firmware-Datei ist mit Ihrem Gerät nicht kompatibel. Bitte öffnen Sie eine andere Datei.</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="206"/>
        <source>In this version of firmware some functionality was improved.
After firmware update Brelko settings will be reset to default 
and you will should reconfigure your Brelko.
Do you wish to proceed?</source>
        <translation>In dieser Firmwareversion wurden einige Funktionen verbessert.
Nach dem Update werden die Einstellungen des Brelko auf die Werkseinstellungen 
zurückgesetzt, und Sie müssen Ihren Brelko neu konfigurieren.
Möchten Sie fortfahren?</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="268"/>
        <source>Can&apos;t read firmware file.</source>
        <translation>Die Firmware-Datei kann nicht gelesen werden.</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="297"/>
        <source>Firmware uploaded successfully</source>
        <translation>Firmware erfolgreich übertragen</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="310"/>
        <source>Load the settings file</source>
        <translation>Einstellungsdatei laden</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="330"/>
        <source>Save the settings file</source>
        <translation>Einstellungsdatei speichern</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="340"/>
        <source>Can&apos;t write file </source>
        <translation>Datei kann nicht geschrieben werden: </translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="345"/>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <location filename="../configurator/updatefwtab.cpp" line="346"/>
        <source>All settings will be reset to defaults.

You will need to configure the device once again.

Do you really want to proceed?</source>
        <translation>Alle Einstellungen werden auf die Werkseinstellungen zurückgesetzt.

Sie müssen das Gerät danach erneut konfigurieren.

Möchten Sie wirklich fortfahren?</translation>
    </message>
</context>
<context>
    <name>configurator::WiFiTab</name>
    <message>
        <location filename="../configurator/wifitab.cpp" line="27"/>
        <source>Wireless network name:</source>
        <translation>WLAN-Name (SSID):</translation>
    </message>
    <message>
        <location filename="../configurator/wifitab.cpp" line="29"/>
        <source>Wireless network password:</source>
        <translation>WLAN-Passwort:</translation>
    </message>
</context>
</TS>
