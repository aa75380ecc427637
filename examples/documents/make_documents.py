#!/usr/bin/env python3
"""Writes the sample documents of the demo as minimal .docx packages.

Each package holds only what a word processor needs to open it: the content
types, the package relationships, the document body and a style part that
defines the heading styles with their outline levels (the outline level is
what decides where pages are cut). The user guide of the demo site
(tessarine-guide.docx) also has a numbering part that numbers its headings
1, 1.1, 1.2, 2 ... the way a multi-level heading list in Word does, and a
table. The zip entries carry a fixed time stamp, so running this again gives
byte-identical files:

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

NUMBERED_CONTENT_TYPES = CONTENT_TYPES.replace(
    "</Types>",
    '<Override PartName="/word/numbering.xml" ContentType="application/'
    'vnd.openxmlformats-officedocument.wordprocessingml.numbering+xml"/>\n</Types>')

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

NUMBERED_DOCUMENT_RELS = DOCUMENT_RELS.replace(
    "</Relationships>",
    f'<Relationship Id="rId2" Type="{R_NS}/numbering" Target="numbering.xml"/>\n'
    '</Relationships>')


def heading_style(level, numbered=False):
    # A numbered heading style points at level level-1 of list 1, as Word's
    # multi-level heading lists do.
    numbering = (f'<w:numPr><w:ilvl w:val="{level - 1}"/><w:numId w:val="1"/></w:numPr>'
                 if numbered else "")
    return (f'<w:style w:type="paragraph" w:styleId="Heading{level}">'
            f'<w:name w:val="heading {level}"/><w:basedOn w:val="Normal"/>'
            f'<w:next w:val="Normal"/><w:qFormat/>'
            f'<w:pPr><w:keepNext/>{numbering}<w:outlineLvl w:val="{level - 1}"/></w:pPr>'
            f'<w:rPr><w:b/><w:sz w:val="{36 - 4 * level}"/></w:rPr></w:style>')


def styles_xml(numbered=False):
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            f'<w:styles xmlns:w="{W_NS}">'
            f'<w:style w:type="paragraph" w:default="1" w:styleId="Normal">'
            f'<w:name w:val="Normal"/><w:qFormat/></w:style>'
            + heading_style(1, numbered) + heading_style(2, numbered) + '</w:styles>\n')


STYLES = styles_xml()


def numbering_level(level, text, indent):
    return (f'<w:lvl w:ilvl="{level}"><w:start w:val="1"/><w:numFmt w:val="decimal"/>'
            f'<w:pStyle w:val="Heading{level + 1}"/><w:lvlText w:val="{text}"/>'
            f'<w:lvlJc w:val="left"/>'
            f'<w:pPr><w:ind w:left="{indent}" w:hanging="{indent}"/></w:pPr></w:lvl>')


# One multi-level list for the headings: 1, 1.1, 2, 2.1 ...
NUMBERING = (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
             f'<w:numbering xmlns:w="{W_NS}">'
             f'<w:abstractNum w:abstractNumId="0"><w:multiLevelType w:val="multilevel"/>'
             + numbering_level(0, "%1", 425) + numbering_level(1, "%1.%2", 567)
             + '</w:abstractNum><w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num>'
             '</w:numbering>\n')


def paragraph(text, style=None):
    properties = f'<w:pPr><w:pStyle w:val="{style}"/></w:pPr>' if style else ""
    return f'<w:p>{properties}<w:r><w:t xml:space="preserve">{escape(text)}</w:t></w:r></w:p>'


def table(rows):
    """rows: lists of cell texts, the first row being the header row."""
    border = '<w:{0} w:val="single" w:sz="4" w:space="0" w:color="auto"/>'
    borders = "".join(border.format(side)
                      for side in ("top", "left", "bottom", "right", "insideH", "insideV"))
    columns = len(rows[0])
    grid = "".join('<w:gridCol w:w="2765"/>' for _ in range(columns))
    xml = (f'<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/><w:tblBorders>{borders}'
           f'</w:tblBorders></w:tblPr><w:tblGrid>{grid}</w:tblGrid>')
    for row in rows:
        xml += "<w:tr>" + "".join(
            f'<w:tc><w:tcPr><w:tcW w:w="2765" w:type="dxa"/></w:tcPr>{paragraph(cell)}</w:tc>'
            for cell in row) + "</w:tr>"
    return xml + "</w:tbl>"


def block_xml(block):
    level, content = block
    if level == "table":
        return table(content)
    return paragraph(content, f"Heading{level}" if level else None)


def document_xml(blocks):
    """blocks: (level, text) pairs, level 0 being a body paragraph, or
    ("table", rows)."""
    body = "".join(block_xml(block) for block in blocks)
    return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            f'<w:document xmlns:w="{W_NS}" xmlns:r="{R_NS}"><w:body>{body}'
            f'<w:sectPr><w:pgSz w:w="11906" w:h="16838"/>'
            f'<w:pgMar w:top="1440" w:right="1800" w:bottom="1440" w:left="1800"'
            f' w:header="851" w:footer="992" w:gutter="0"/></w:sectPr>'
            f'</w:body></w:document>\n')


def write_docx(name, blocks, numbered=False):
    parts = [
        ("[Content_Types].xml", NUMBERED_CONTENT_TYPES if numbered else CONTENT_TYPES),
        ("_rels/.rels", PACKAGE_RELS),
        ("word/document.xml", document_xml(blocks)),
        ("word/_rels/document.xml.rels", NUMBERED_DOCUMENT_RELS if numbered else DOCUMENT_RELS),
        ("word/styles.xml", styles_xml(numbered)),
    ]
    if numbered:
        parts.append(("word/numbering.xml", NUMBERING))
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

# The demo site: a short guide to Tessarine itself, with numbered chapters.
TESSARINE_GUIDE = [
    (0, "Tessarine 把 Word 文档转换成一个小型网站：每个文档按标题切分成页面，"
        "页面套用模板，并生成导航、目录和站点菜单。"),
    (0, "本指南本身就是用 Tessarine 生成的。"),
    (1, "快速开始"),
    (0, "只需三步：准备文档、创建项目、生成网站。"),
    (2, "准备文档"),
    (0, "用“标题 1”“标题 2”等样式标出章节。Tessarine 在这些标题处把文档切分成页面，"
        "标题的编号会成为页面的章节号。"),
    (0, "带大纲级别的自定义样式（例如标准文本中的“章标题”“一级条标题”）"
        "和设置了大纲级别的段落也按其级别切分页面，与内置标题相同。"
        "不需要时，在文档设置中取消“大纲级别段落作为标题”。"),
    (2, "创建项目"),
    (0, "在命令行运行 tessarine new site.tsn 手册.docx，"
        "即可创建一个包含该文档的项目文件。"),
    (2, "生成网站"),
    (0, "运行 tessarine build site.tsn --output 网站文件夹。"
        "生成过程中会显示进度，按 Ctrl-C（或向程序发送 SIGTERM、SIGHUP）可以中断生成。"),
    (0, "生成默认用上全部处理器核心：一个文档的各个页面由多个线程同时清理和写出，"
        "后面的文档在前一个文档写出页面时就开始转换（N 个线程时提前转换 N 个），"
        "很大的文档在转换时也用上第二个线程。用 --jobs N 指定线程数，"
        "--jobs 1 则逐一处理。无论线程数多少，写出的每个文件都逐字节相同，"
        "进度的每一步和中断后留下的文件也相同。桌面程序总是用上全部核心。"),
    (0, "在桌面程序中，点击“生 成”开始生成；进度条在每个文档的页面写出过程中持续前进。"
        "点击“停止生成”后，状态栏显示“正在停止生成...”，生成在半秒之内停下。"
        "停止后不会留下临时文件夹；生成出错时，临时文件夹会保留并在错误信息的详细内容中给出位置，"
        "超过一周的保留文件夹会在下次生成时自动删除。"),
    (1, "项目设置"),
    (0, "项目文件保存网站的全局设置和文档列表，常用的设置如下表所示。"
        "网页顶部的 Logo（PageTopLogo）必须是 PNG、JPEG、GIF、SVG 或 WebP 图片，"
        "复制到输出文件夹时命名为 top~logo 加图片的扩展名，不会覆盖任何页面。"),
    ("table", [
        ["设置", "含义", "默认值"],
        ["OutputDir", "网站的输出文件夹", "程序的 output 文件夹"],
        ["FileExt", "页面文件的扩展名", ".htm"],
        ["Template", "使用的模板", "default"],
        ["Charset", "页面的字符集", "gb2312"],
        ["FileEncode", "页面文件的编码：0 为 ANSI，1 为 UTF-8", "0"],
        ["SiteSearch", "生成站内全文搜索（主窗口“站内全文搜索”）", "1"],
    ]),
    (2, "文档设置"),
    (0, "每个文档都有自己的文件名前缀、切分级别、章节编号规则和清理选项。"
        "文件名前缀只能由英文字母和数字组成，最多 64 个字符。"
        "检查（tessarine check）和生成之前都会核对每个设置值，超出范围的值会连同文档和设置名一起报告。"),
    (1, "输出结果"),
    (0, "每个文档生成一组页面：首页的文件名就是文件名前缀加扩展名，"
        "其余页面按章节号命名，例如 guide.1.2.htm。"),
    (0, "文档中的书签、交叉引用和目录链接指向目标所在的页面；"
        "脚注和尾注显示在引用它们的页面末尾。"
        "如果两个页面的文件名相同，后一个页面改用下一个空闲的名称（例如 doc11_2.htm），"
        "生成结果中会列出每一处改名。"),
    (2, "资源文件夹"),
    (0, "每个文档的图片和样式表 tessarine.css 保存在与前缀同名的 .files 文件夹中，"
        "模板的资源复制到 tfiles 文件夹。"),
    (0, "文档中的图表（柱形图、条形图、折线图、饼图、圆环图、面积图、散点图）按文档保存的数据画成 SVG 图片，"
        "与其他图片放在同一个文件夹中；其他类型的图表使用文档自带的替代图片。"
        "SmartArt 图形按文档保存的绘图画成 SVG 图片。"
        "多级列表按 Word 的缩进逐级缩进，文本框保留填充色、边框、旋转和文字方向，"
        "链接的文本框只在第一个框中显示全部文字；没有超链接样式的链接文字保持自身的颜色。"),
    (1, "安装与批量转换"),
    (0, "在 Debian 上运行 make package 生成安装包 tessarine_版本_架构.deb，用 dpkg -i 安装后，"
        "菜单中会出现 Tessarine，在文件管理器中双击 .tsn 项目文件即可打开；"
        "man tessarine 列出全部命令和选项，输入命令时按 Tab 键可以补全。"),
    (2, "分片转换"),
    (0, "tessarine batch --files-from 列表文件 -0 --shard K/N 只转换按路径排序后的列表的第 K 片"
        "（共 N 片），多台机器各取一片，就能分担成千上万个文档；用 --names number 时页面按整个列表编号，"
        "各片的页面可以放进同一个文件夹。GNU parallel 和 Kubernetes 的用法见 docs/scale-out.md。"),
    (1, "阅读网站"),
    (0, "生成的网站可以直接从文件夹打开，也可以放到网站服务器上；"
        "在电脑、手机上都可以阅读，也可以打印。"),
    (2, "站内搜索"),
    (0, "目录上方有搜索框。输入时即列出包含所有输入词语的页面，"
        "每条结果显示页面标题、它在目录中的位置和一段标出词语的摘要。"
        "中文、日文和韩文按字和相邻两字检索，三个字以上的词语只列出连在一起出现的页面"
        "（这要读入页面的摘要文字，结果可能稍后才齐全）；英文等按单词检索，不区分大小写；"
        "最后一个英文单词尚未输完时按前缀匹配。"),
    (0, "用上下方向键选择结果，按 Enter 打开；打开的页面中标出搜索的词语，"
        "并滚动到第一处。按 Esc 清空搜索框，回到目录。"),
    (0, "搜索索引由生成过程写入 tfiles 文件夹（search-index.js 和 search-text-N.js），"
        "不需要服务器。不需要搜索时，在主窗口取消“站内全文搜索”，"
        "或把项目文件中的 SiteSearch 设为 0。"),
    (2, "手机阅读"),
    (0, "屏幕较窄时目录收起，页面占满宽度；点左上角的目录按钮打开目录，"
        "点搜索按钮打开目录并进入搜索框，选中页面后目录自动收起。"
        "较宽的表格在自己的区域内左右滚动，图片按屏幕宽度缩小。"),
    ("table", [
        ["Viewport", "Menu", "Search", "Tables", "Pictures"],
        ["1280x800 desktop", "tree-menu-beside-page", "search-box-above-menu",
         "page-width", "original-size"],
        ["375x667 phone", "behind-menu-button", "search-button-opens-menu",
         "scroll-sideways-in-box", "scaled-to-screen-width"],
    ]),
    (2, "打印"),
    (0, "打印内容页时只打印正文，不打印目录、导航条、搜索框和“返回顶部”链接；"
        "图片和表格尽量不跨页。"),
    (1, "常见问题"),
    (0, "如果生成出错，程序会显示“生成出错，原因：”和具体原因。"
        "修正文档或设置后重新生成即可，已经生成的其他文件会保留。"
        "每个文件都先写成临时文件，写完后才替换旧文件，所以即使磁盘已满，"
        "原有的页面也保持完好，不会留下写了一半的文件。"),
    (0, "桌面程序会记住窗口的位置和大小、列表的列宽、各个文件对话框上次打开的文件夹，"
        "以及最近打开或保存的 8 个项目（点击工具栏“打开”按钮旁的箭头即可选择）。"
        "如果无法启动浏览器或文件管理器，程序会显示页面或文件夹的路径，以便手动打开。"),
]

if __name__ == "__main__":
    write_docx("user-guide.docx", USER_GUIDE)
    write_docx("release-notes.docx", RELEASE_NOTES)
    write_docx("tessarine-guide.docx", TESSARINE_GUIDE, numbered=True)
