<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>QObject</name>
    <message>
        <source>English</source>
        <translation>Русский</translation>
    </message>
    <message>
        <source>Systray</source>
        <translation>Системный трей</translation>
    </message>
</context>
</TS>
