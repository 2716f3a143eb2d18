<?xml version='1.0' encoding='utf-8'?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>morvex::AudioTab</name>
    <message>
        <source>msec</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>Audio input</source>
        <translation>Audioeingang</translation>
    </message>
    <message>
        <source>Audio output</source>
        <translation>Audioausgang</translation>
    </message>
    <message>
        <source>Audio RX buffering</source>
        <translation>Audio-Empfangspuffer</translation>
    </message>
    <message>
        <source>Sample rate</source>
        <translation>Abtastrate</translation>
    </message>
    <message>
        <source>Codec</source>
        <translation>Codec</translation>
    </message>
    <message>
        <source>Rescan
audio devices</source>
        <translation>Audiogeräte
neu suchen</translation>
    </message>
    <message>
        <source>Windows audio devices...</source>
        <translation>Audiogeräte des Systems...</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Your system does not have Virtual Sound Card.
</source>
        <translation>Ihr System hat keine virtuelle Soundkarte.
</translation>
    </message>
    <message>
        <source>Please reinstall your software.</source>
        <translation>Bitte installieren Sie die Software neu.</translation>
    </message>
</context>
<context>
    <name>morvex::Console</name>
    <message>
        <source>Pause</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Console</source>
        <translation>Konsole</translation>
    </message>
    <message>
        <source>Statistics</source>
        <translation>Statistik</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Fortsetzen</translation>
    </message>
</context>
<context>
    <name>morvex::FirmwareCheck</name>
    <message>
        <source>You should update your Brelko's firmware to version %1 or higher. The latest version of the firmware you can download from the website </source>
        <translation>Bitte aktualisieren Sie die Firmware Ihres Brelko auf Version %1 oder neuer. Die neueste Firmware finden Sie auf der Website </translation>
    </message>
    <message>
        <source>After that you should run Brelko Configurator, choose the "Files" tab and update firmware.</source>
        <translation>Starten Sie danach den Brelko Configurator, wählen Sie die Registerkarte „Dateien“ und aktualisieren Sie die Firmware.</translation>
    </message>
</context>
<context>
    <name>morvex::FwVersionDialog</name>
    <message>
        <source>Update Brelko firmvare</source>
        <translation>Brelko-Firmware aktualisieren</translation>
    </message>
    <message>
        <source>Do not show this message</source>
        <translation>Diese Meldung nicht mehr anzeigen</translation>
    </message>
</context>
<context>
    <name>morvex::LanguageTab</name>
    <message>
        <source>Run on Windows startup</source>
        <translation>Beim Anmelden starten</translation>
    </message>
    <message>
        <source>Available languages</source>
        <translation>Verfügbare Sprachen</translation>
    </message>
</context>
<context>
    <name>morvex::MainWindow</name>
    <message>
        <source>&amp;Open window</source>
        <translation>Fenster ö&amp;ffnen</translation>
    </message>
    <message>
        <source>: disconnected</source>
        <translation>: getrennt</translation>
    </message>
    <message>
        <source> connected</source>
        <translation> verbunden</translation>
    </message>
    <message>
        <source>Connected to </source>
        <translation>Verbunden mit </translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Getrennt</translation>
    </message>
    <message>
        <source>Disconnected: </source>
        <translation>Getrennt: </translation>
    </message>
    <message>
        <source>The program will keep running in the system tray. To terminate the program, choose Quit in the context menu of the system tray entry.</source>
        <translation>Das Programm läuft im Infobereich weiter. Zum Beenden wählen Sie „Beenden“ im Kontextmenü des Symbols im Infobereich.</translation>
    </message>
    <message>
        <source>toolBar</source>
        <translation>Werkzeugleiste</translation>
    </message>
</context>
<context>
    <name>morvex::NetworkTab</name>
    <message>
        <source>msec</source>
        <translation>ms</translation>
    </message>
    <message>
        <source>Brelko address</source>
        <translation>Brelko-Adresse</translation>
    </message>
    <message>
        <source>Brelko password</source>
        <translation>Brelko-Passwort</translation>
    </message>
    <message>
        <source>Brelko audio TX buffering</source>
        <translation>Brelko-Sendepuffer (Audio)</translation>
    </message>
    <message>
        <source>Command port (TCP)</source>
        <translation>Befehlsport (TCP)</translation>
    </message>
    <message>
        <source>Audio port (UDP)</source>
        <translation>Audioport (UDP)</translation>
    </message>
    <message>
        <source>PTT/CW port (UDP)</source>
        <translation>PTT/CW-Port (UDP)</translation>
    </message>
    <message>
        <source>Export location</source>
        <translation>Standort exportieren</translation>
    </message>
    <message>
        <source>Import location</source>
        <translation>Standort importieren</translation>
    </message>
    <message>
        <source>enter IP address or domain name</source>
        <translation>IP-Adresse oder Domainnamen eingeben</translation>
    </message>
    <message>
        <source>fill this</source>
        <translation>bitte ausfüllen</translation>
    </message>
    <message>
        <source>Import location file</source>
        <translation>Standortdatei importieren</translation>
    </message>
    <message>
        <source>Export location file</source>
        <translation>Standortdatei exportieren</translation>
    </message>
</context>
<context>
    <name>morvex::PermItem</name>
    <message>
        <source>h : </source>
        <translation>h : </translation>
    </message>
    <message>
        <source>min</source>
        <translation>min</translation>
    </message>
    <message>
        <source>Work time:</source>
        <translation>Arbeitszeit:</translation>
    </message>
    <message>
        <source>Pause time:</source>
        <translation>Pausenzeit:</translation>
    </message>
</context>
<context>
    <name>morvex::PermissionForm</name>
    <message>
        <source>Work time (min):</source>
        <translation>Arbeitszeit (min):</translation>
    </message>
    <message>
        <source>Permission:</source>
        <translation>Berechtigung:</translation>
    </message>
    <message>
        <source>PTT, CAT, Audio levels</source>
        <translation>PTT, CAT, Audiopegel</translation>
    </message>
    <message>
        <source>Permission</source>
        <translation>Berechtigung</translation>
    </message>
</context>
<context>
    <name>morvex::Preferences</name>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Serial ports</source>
        <translation>Serielle Ports</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Netzwerk</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Apply changes</source>
        <translation>Änderungen übernehmen</translation>
    </message>
    <message>
        <source>Would you like to apply changes at the %1 tab?</source>
        <translation>Möchten Sie die Änderungen auf der Registerkarte %1 übernehmen?</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>English</source>
        <translation>Deutsch</translation>
    </message>
    <message>
        <source>Zentrik Ltd.</source>
        <translation>Zentrik GmbH</translation>
    </message>
    <message>
        <source>Systray</source>
        <translation>Infobereich</translation>
    </message>
    <message>
        <source>I couldn't detect any system tray on this system.</source>
        <translation>Auf diesem System wurde kein Infobereich gefunden.</translation>
    </message>
</context>
<context>
    <name>morvex::RemoteInd</name>
    <message>
        <source>TX volume meter</source>
        <translation>Sendepegelanzeige</translation>
    </message>
    <message>
        <source>set &gt;&gt; 0 &lt;&lt;</source>
        <translation>&gt;&gt; 0 &lt;&lt; setzen</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>&gt;&gt; 0 &lt;&lt; set</source>
        <translation>&gt;&gt; 0 &lt;&lt; gesetzt</translation>
    </message>
</context>
<context>
    <name>morvex::SerialTab</name>
    <message>
        <source>Serial port for CAT </source>
        <translation>Serieller Port für CAT </translation>
    </message>
    <message>
        <source>Serial port for  PTT/CW 
(PTT-&gt;RTS; CW-&gt;DTR)</source>
        <translation>Serieller Port für PTT/CW 
(PTT-&gt;RTS; CW-&gt;DTR)</translation>
    </message>
    <message>
        <source>Serial port for FSK</source>
        <translation>Serieller Port für FSK</translation>
    </message>
    <message>
        <source>Serial port for RS-485</source>
        <translation>Serieller Port für RS-485</translation>
    </message>
    <message>
        <source>Serial port for  Winkey</source>
        <translation>Serieller Port für Winkey</translation>
    </message>
    <message>
        <source>Reset all ports</source>
        <translation>Alle Ports zurücksetzen</translation>
    </message>
    <message>
        <source>None</source>
        <translation>None</translation>
    </message>
</context>
<context>
    <name>morvex::Window</name>
    <message>
        <source> dB</source>
        <translation> dB</translation>
    </message>
    <message>
        <source>TX</source>
        <translation>TX</translation>
    </message>
    <message>
        <source>Headset levels</source>
        <translation>Kopfhörerpegel</translation>
    </message>
    <message>
        <source>Microphone</source>
        <translation>Mikrofon</translation>
    </message>
    <message>
        <source>Transceiver levels</source>
        <translation>Transceiverpegel</translation>
    </message>
    <message>
        <source>Sub RX</source>
        <translation>Sub-RX</translation>
    </message>
    <message>
        <source>Main RX</source>
        <translation>Haupt-RX</translation>
    </message>
    <message>
        <source>Main+Sub RX</source>
        <translation>Haupt- und Sub-RX</translation>
    </message>
    <message>
        <source>Console</source>
        <translation>Konsole</translation>
    </message>
    <message>
        <source>PTT</source>
        <translation>PTT</translation>
    </message>
    <message>
        <source>PTT button for SSB
Hot key:</source>
        <translation>PTT-Taste für SSB
Tastenkürzel:</translation>
    </message>
    <message>
        <source>Open window</source>
        <translation>Fenster öffnen</translation>
    </message>
    <message>
        <source>Transmit 1kHz tone</source>
        <translation>1-kHz-Ton senden</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Startseite</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>About Qt</source>
        <translation>Über Qt</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>View</source>
        <translation>Ansicht</translation>
    </message>
    <message>
        <source>Tools</source>
        <translation>Extras</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Your system does not have Virtual Serial Port.
</source>
        <translation>Ihr System hat keine virtuellen seriellen Ports.
</translation>
    </message>
    <message>
        <source>Please reinstall your software.</source>
        <translation>Bitte installieren Sie die Software neu.</translation>
    </message>
    <message>
        <source>Virtual serial ports are creating now.</source>
        <translation>Virtuelle serielle Ports werden angelegt.</translation>
    </message>
    <message>
        <source>It takes several seconds.</source>
        <translation>Das dauert einige Sekunden.</translation>
    </message>
    <message>
        <source>Can't attach to CAT </source>
        <translation>Keine Verbindung zu CAT </translation>
    </message>
    <message>
        <source>Can't attach to PTT/CW </source>
        <translation>Keine Verbindung zu PTT/CW </translation>
    </message>
    <message>
        <source>Can't attach to FSK </source>
        <translation>Keine Verbindung zu FSK </translation>
    </message>
    <message>
        <source>Can't attach to RS-485 </source>
        <translation>Keine Verbindung zu RS-485 </translation>
    </message>
    <message>
        <source>Can't attach to winkey </source>
        <translation>Keine Verbindung zu Winkey </translation>
    </message>
    <message>
        <source>Can't open CAT </source>
        <translation>CAT lässt sich nicht öffnen: </translation>
    </message>
    <message>
        <source>Can't open PTT/CW </source>
        <translation>PTT/CW lässt sich nicht öffnen: </translation>
    </message>
    <message>
        <source>Can't open FSK </source>
        <translation>FSK lässt sich nicht öffnen: </translation>
    </message>
    <message>
        <source>Can't open RS-485 </source>
        <translation>RS-485 lässt sich nicht öffnen: </translation>
    </message>
    <message>
        <source>Can't open Winkey </source>
        <translation>Winkey lässt sich nicht öffnen: </translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Another application has already connected.</source>
        <translation>Eine andere Anwendung ist bereits verbunden.</translation>
    </message>
    <message>
        <source>wrong password</source>
        <translation>falsches Passwort</translation>
    </message>
    <message>
        <source>Not enough permission
for using PTT.</source>
        <translation>Keine Berechtigung
für PTT.</translation>
    </message>
    <message>
        <source>Headphone L</source>
        <translation>Kopfhörer L</translation>
    </message>
    <message>
        <source>Headphone R</source>
        <translation>Kopfhörer R</translation>
    </message>
    <message>
        <source>Help should be shown here.</source>
        <translation>Hier wird die Hilfe angezeigt.</translation>
    </message>
    <message>
        <source> version </source>
        <translation> Version </translation>
    </message>
    <message>
        <source>Author: </source>
        <translation>Autor: </translation>
    </message>
    <message>
        <source>Home page: </source>
        <translation>Webseite: </translation>
    </message>
    <message>
        <source> CAT</source>
        <translation> CAT</translation>
    </message>
    <message>
        <source> TX audio level</source>
        <translation> TX-Audiopegel</translation>
    </message>
</context>
</TS>