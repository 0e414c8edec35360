<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>ShortcutController</name>
    <message numerus="yes">
        <source>Shortcut(s) unavailable</source>
        <extracomment>Title of a desktop notification with a line for each shortcut; %n is how many</extracomment>
        <translation>
            <numerusform>Shortcut unavailable</numerusform>
            <numerusform>Shortcuts unavailable</numerusform>
        </translation>
    </message>
</context>
</TS>
