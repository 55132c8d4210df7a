#!/usr/bin/python3
"""Renders the user's guide's Markdown pages to HTML for a browser.

    render-html.py SOURCE_DIR OUT_DIR

Every SOURCE_DIR/*.md becomes OUT_DIR/NAME.html; links between pages point at the
HTML pages, and the images are copied to OUT_DIR/images. Needs python3-markdown.
"""
import html
import pathlib
import re
import shutil
import sys

import markdown

PAGE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
body {{ font-family: sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; line-height: 1.45; }}
table {{ border-collapse: collapse; margin: 1em 0; }}
th, td {{ border: 1px solid #bbb; padding: 0.25em 0.6em; text-align: left; vertical-align: top; }}
th {{ background: #eee; }}
pre {{ background: #f4f4f4; padding: 0.6em; overflow-x: auto; }}
img {{ max-width: 100%; border: 1px solid #ccc; }}
</style>
</head>
<body>
{body}
</body>
</html>
"""


def render(source: pathlib.Path, out: pathlib.Path) -> None:
    text = source.read_text(encoding="utf-8")
    # Links to other pages of the guide go to their HTML.
    text = re.sub(r"\]\(([a-z0-9-]+)\.md(#[^)]*)?\)", r"](\1.html\2)", text)
    body = markdown.markdown(text, extensions=["tables", "fenced_code"], output_format="html")
    heading = re.search(r"^# (.+)$", text, re.MULTILINE)
    title = html.escape(heading.group(1) if heading else source.stem)
    out.write_text(PAGE.format(title=title, body=body), encoding="utf-8")


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    source, out = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    out.mkdir(parents=True, exist_ok=True)
    for page in sorted(source.glob("*.md")):
        render(page, out / (page.stem + ".html"))
    if (source / "images").is_dir():
        shutil.copytree(source / "images", out / "images", dirs_exist_ok=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
