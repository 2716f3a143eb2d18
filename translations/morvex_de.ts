<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
        <source>I couldn&apos;t detect any system tray on this system.</source>
        <translation>Auf diesem System wurde kein Infobereich gefunden.</translation>
    </message>
</context>
</TS>
