#!/usr/bin/python3
"""Turns the operator's guide (Markdown) into the HTML page the program's
"Помощь" opens, with its pictures beside it.

    make_guide.py guide.md OUTPUT_DIR

Writes OUTPUT_DIR/index.html and OUTPUT_DIR/pictures/. Fails on a picture
that is missing or a link to a chapter that does not exist, so that a broken
guide never reaches the package.
"""
import html
import os
import re
import shutil
import sys

import markdown

PAGE = """<!DOCTYPE html>
<html lang="ru">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{title}</title>
<style>
body {{ font-family: "Liberation Sans", sans-serif; max-width: 60em; margin: 0 auto;
       padding: 1em 2em; line-height: 1.45; color: #222; }}
h1, h2, h3 {{ color: #1d4f91; }}
h2 {{ border-bottom: 1px solid #c8d3e0; padding-bottom: .2em; margin-top: 2em; }}
img {{ max-width: 100%; border: 1px solid #c8d3e0; }}
table {{ border-collapse: collapse; margin: 1em 0; }}
th, td {{ border: 1px solid #c8d3e0; padding: .3em .6em; vertical-align: top; text-align: left; }}
th {{ background: #eef3f9; }}
code, pre {{ font-family: "Liberation Mono", monospace; background: #f3f5f8; }}
pre {{ padding: .6em 1em; overflow-x: auto; }}
.toc {{ background: #f7f9fc; border: 1px solid #c8d3e0; padding: .3em 1em; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_guide.py GUIDE.md OUTPUT_DIR")
    source, out = sys.argv[1], sys.argv[2]
    base = os.path.dirname(os.path.abspath(source))
    with open(source, encoding="utf-8") as f:
        text = f.read()
    body = markdown.markdown(
        text, extensions=["toc", "tables", "attr_list", "sane_lists"],
        extension_configs={"toc": {"title": "Содержание"}}, output_format="html5")

    errors = []
    pictures = os.path.join(out, "pictures")
    # Pictures dropped from the guide must not linger in the build's copy.
    shutil.rmtree(pictures, ignore_errors=True)
    os.makedirs(pictures)
    copied = {}

    def picture(match):
        src = html.unescape(match.group(2))
        path = os.path.normpath(os.path.join(base, src))
        name = os.path.basename(path)
        if not os.path.isfile(path):
            errors.append("picture not found: " + src)
        elif copied.setdefault(name, path) != path:
            errors.append("two pictures named " + name)
        else:
            shutil.copyfile(path, os.path.join(pictures, name))
        return match.group(1) + "pictures/" + html.escape(name) + match.group(3)

    body = re.sub(r'(<img[^>]*\ssrc=")([^":]+)(")', picture, body)
    ids = set(re.findall(r'\sid="([^"]+)"', body))
    for target in re.findall(r'href="#([^"]*)"', body):
        if target not in ids:
            errors.append("link to a missing chapter: #" + target)
    title = re.search(r"<h1[^>]*>(.*?)</h1>", body, re.S)
    if errors or not title:
        sys.exit("\n".join(errors or ["the guide has no title"]))

    with open(os.path.join(out, "index.html"), "w", encoding="utf-8") as f:
        f.write(PAGE.format(title=re.sub(r"<[^>]+>", "", title.group(1)), body=body))


if __name__ == "__main__":
    main()
