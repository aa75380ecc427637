#!/usr/bin/env python3
"""Writes documents that grow in one dimension only, to see whether the build
stays linear in it:

    headings-N.docx   N headings (levels 1 to 3), a short paragraph under each
    list-N.docx       N numbered list items over three levels
    table-R.docx      one table of R rows by 50 columns

    python3 bench/scale_docs.py OUT_DIR [headings:20000 list:50000 table:10000 ...]

Each shape:size pair writes one file; the default writes every shape at two
sizes a factor of four apart, so that a time or memory that grows faster
than the size shows as a ratio above four.
"""

import os
import sys
import zipfile
from xml.sax.saxutils import escape

W_NS = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
R_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
MAIN = "application/vnd.openxmlformats-officedocument.wordprocessingml"

CONTENT_TYPES = f"""<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="xml" ContentType="application/xml"/>
<Override PartName="/word/document.xml" ContentType="{MAIN}.document.main+xml"/>
<Override PartName="/word/styles.xml" ContentType="{MAIN}.styles+xml"/>
<Override PartName="/word/numbering.xml" ContentType="{MAIN}.numbering+xml"/>
</Types>"""
PACKAGE_RELS = (f'<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="{PKG}">'
                f'<Relationship Id="rId1" Type="{R_NS}/officeDocument" Target="word/document.xml"/>'
                '</Relationships>')
DOCUMENT_RELS = (f'<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="{PKG}">'
                 f'<Relationship Id="rId1" Type="{R_NS}/styles" Target="styles.xml"/>'
                 f'<Relationship Id="rId2" Type="{R_NS}/numbering" Target="numbering.xml"/>'
                 '</Relationships>')


def heading_style(level):
    return (f'<w:style w:type="paragraph" w:styleId="Heading{level}"><w:name w:val="heading {level}"/>'
            f'<w:basedOn w:val="Normal"/><w:pPr><w:outlineLvl w:val="{level - 1}"/></w:pPr></w:style>')


STYLES = (f'<?xml version="1.0" encoding="UTF-8"?><w:styles xmlns:w="{W_NS}">'
          '<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>'
          + "".join(heading_style(level) for level in (1, 2, 3)) + '</w:styles>')

NUMBERING = (f'<?xml version="1.0" encoding="UTF-8"?><w:numbering xmlns:w="{W_NS}">'
             '<w:abstractNum w:abstractNumId="0"><w:multiLevelType w:val="multilevel"/>'
             + "".join(f'<w:lvl w:ilvl="{i}"><w:start w:val="1"/><w:numFmt w:val="decimal"/>'
                       f'<w:lvlText w:val="{".".join(f"%{j + 1}" for j in range(i + 1))}."/>'
                       f'<w:pPr><w:ind w:left="{360 * (i + 1)}" w:hanging="360"/></w:pPr></w:lvl>'
                       for i in range(3))
             + '</w:abstractNum><w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num></w:numbering>')


def paragraph(text, properties=""):
    ppr = f"<w:pPr>{properties}</w:pPr>" if properties else ""
    return f'<w:p>{ppr}<w:r><w:t xml:space="preserve">{escape(text)}</w:t></w:r></w:p>'


def headings(count):
    for i in range(count):
        level = (1, 2, 3, 3, 2, 3)[i % 6]
        yield paragraph(f"Heading {i}", f'<w:pStyle w:val="Heading{level}"/>')
        yield paragraph(f"Text under heading {i}, a sentence long enough to look like prose.")


def list_items(count):
    for i in range(count):
        level = (0, 1, 2, 2, 1, 0, 1)[i % 7]
        yield paragraph(f"Item {i}",
                        f'<w:numPr><w:ilvl w:val="{level}"/><w:numId w:val="1"/></w:numPr>')


def table(rows, columns=50):
    grid = "".join('<w:gridCol w:w="400"/>' for _ in range(columns))
    yield f'<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/></w:tblPr><w:tblGrid>{grid}</w:tblGrid>'
    for r in range(rows):
        yield "<w:tr>" + "".join(f"<w:tc>{paragraph(f'{r}.{c}')}</w:tc>" for c in range(columns)) + "</w:tr>"
    yield "</w:tbl>"
    yield paragraph("After the table.")


SHAPES = {"headings": headings, "list": list_items, "table": table}


def write(path, blocks):
    body = "".join(blocks)
    document = (f'<?xml version="1.0" encoding="UTF-8"?><w:document xmlns:w="{W_NS}" '
                f'xmlns:r="{R_NS}"><w:body>{body}</w:body></w:document>')
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in (("[Content_Types].xml", CONTENT_TYPES), ("_rels/.rels", PACKAGE_RELS),
                           ("word/_rels/document.xml.rels", DOCUMENT_RELS),
                           ("word/styles.xml", STYLES), ("word/numbering.xml", NUMBERING),
                           ("word/document.xml", document)):
            info = zipfile.ZipInfo(name, (2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    requests = argv[2:] or ["headings:5000", "headings:20000", "list:12500", "list:50000",
                            "table:2500", "table:10000"]
    for request in requests:
        shape, size = request.split(":")
        path = os.path.join(out, f"{shape}-{size}.docx")
        write(path, SHAPES[shape](int(size)))
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
