#!/usr/bin/env python3
"""Writes the two sample documents of the demo as minimal .docx packages.

Each package holds only what a word processor needs to open it: the content
types, the package relationships, the document body and a style part that
defines the heading styles with their outline levels (the outline level is
what decides where pages are cut). The zip entries carry a fixed time stamp,
so running this again gives byte-identical files:

    python3 examples/documents/make_documents.py
"""

import os
import zipfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
FIXED_TIME = (2024, 1, 1, 0, 0, 0)

W_NS = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
R_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL_NS = "http://schemas.openxmlformats.org/package/2006/relationships"

CONTENT_TYPES = f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>
<Override PartName="/word/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml"/>
</Types>
"""

PACKAGE_RELS = f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="{PKG_REL_NS}">
<Relationship Id="rId1" Type="{R_NS}/officeDocument" Target="word/document.xml"/>
</Relationships>
"""

DOCUMENT_RELS = f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Relationships xmlns="{PKG_REL_NS}">
<Relationship Id="rId1" Type="{R_NS}/styles" Target="styles.xml"/>
</Relationships>
"""


def heading_style(level):
    return (f'<w:style w:type="paragraph" w:styleId="Heading{level}">'
            f'<w:name w:val="heading {level}"/><w:basedOn w:val="Normal"/>'
            f'<w:next w:val="Normal"/><w:qFormat/>'
            f'<w:pPr><w:keepNext/><w:outlineLvl w:val="{level - 1}"/></w:pPr>'
            f'<w:rPr><w:b/><w:sz w:val="{36 - 4 * level}"/></w:rPr></w:style>')


STYLES = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
          f'<w:styles xmlns:w="{W_NS}">'
          f'<w:style w:type="paragraph" w:default="1" w:styleId="Normal">'
          f'<w:name w:val="Normal"/><w:qFormat/></w:style>'
          + heading_style(1) + heading_style(2) + '</w:styles>\n')


def paragraph(text, style=None):
    properties = f'<w:pPr><w:pStyle w:val="{style}"/></w:pPr>' if style else ""
    return f'<w:p>{properties}<w:r><w:t xml:space="preserve">{escape(text)}</w:t></w:r></w:p>'


def document_xml(blocks):
    """blocks: (level, text) pairs; level 0 is a body paragraph."""
    body = "".join(paragraph(text, f"Heading{level}" if level else None)
                   for level, text in blocks)
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            f'<w:document xmlns:w="{W_NS}" xmlns:r="{R_NS}"><w:body>{body}'
            f'<w:sectPr><w:pgSz w:w="11906" w:h="16838"/>'
            f'<w:pgMar w:top="1440" w:right="1800" w:bottom="1440" w:left="1800"'
            f' w:header="851" w:footer="992" w:gutter="0"/></w:sectPr>'
            f'</w:body></w:document>\n')


def write_docx(name, blocks):
    parts = [
        ("[Content_Types].xml", CONTENT_TYPES),
        ("_rels/.rels", PACKAGE_RELS),
        ("word/document.xml", document_xml(blocks)),
        ("word/_rels/document.xml.rels", DOCUMENT_RELS),
        ("word/styles.xml", STYLES),
    ]
    with zipfile.ZipFile(os.path.join(HERE, name), "w", zipfile.ZIP_DEFLATED) as package:
        for part_name, text in parts:
            info = zipfile.ZipInfo(part_name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            package.writestr(info, text.encode("utf-8"))


USER_GUIDE = [
    (0, "本手册介绍如何安装和使用示例软件。"),
    (1, "安装"),
    (0, "下载安装包后，按提示完成安装。"),
    (2, "系统要求"),
    (0, "需要 64 位 Linux 系统和 200 MB 可用空间。"),
    (2, "升级旧版本"),
    (0, "升级前请备份配置文件。"),
    (1, "使用"),
    (0, "启动程序后，从“文件”菜单打开一个项目。"),
    (1, "常见问题"),
    (0, "如果程序无法启动，请检查安装目录的权限。"),
]

RELEASE_NOTES = [
    (0, "This document lists the changes of each release."),
    (1, "Version 2.0"),
    (0, "Projects can now hold any number of documents."),
    (2, "Fixed problems"),
    (0, "Long headings no longer break the menu."),
    (1, "Version 1.0"),
    (0, "First public release."),
]

if __name__ == "__main__":
    write_docx("user-guide.docx", USER_GUIDE)
    write_docx("release-notes.docx", RELEASE_NOTES)
