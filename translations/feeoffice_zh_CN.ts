<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>Collection</source>
        <translation>收费室</translation>
    </message>
</context>
<context>
    <name>configView</name>
    <message>
        <source>double click here to edit</source>
        <translation>双击此处修改</translation>
    </message>
    <message>
        <source>name</source>
        <translation>项目</translation>
    </message>
    <message>
        <source>value</source>
        <translation>数值</translation>
    </message>
    <message>
        <source>note</source>
        <translation>键名</translation>
    </message>
</context>
</TS>
