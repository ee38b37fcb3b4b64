"""Every internal link of the built documentation site resolves: each
relative href or src names a file of the site, and each #fragment an id in
the page it points at. External links (with a scheme) are not fetched.

usage: python .ci/check_site_links.py docs/_build/html
"""
import sys
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import unquote, urlsplit


class PageLinks(HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids = set()
        self.targets = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("id", "name") and value:
                self.ids.add(value)
            elif name in ("href", "src") and value is not None:
                self.targets.append(value)


def read(page):
    parser = PageLinks()
    parser.feed(page.read_text(encoding="utf-8"))
    return parser


def broken_links(site):
    pages = {page.resolve(): read(page) for page in site.rglob("*.html")}
    broken = []
    for page, parsed in pages.items():
        for target in parsed.targets:
            parts = urlsplit(target)
            if parts.scheme or parts.netloc:
                continue
            file = (page.parent / unquote(parts.path)).resolve() if parts.path else page
            if file.is_dir():
                file = file / "index.html"
            if not file.exists():
                broken.append(f"{page.relative_to(site.resolve())}: {target} (no such file)")
            elif parts.fragment and file.suffix == ".html":
                ids = pages[file].ids if file in pages else read(file).ids
                if unquote(parts.fragment) not in ids:
                    broken.append(f"{page.relative_to(site.resolve())}: {target} (no such anchor)")
    return len(pages), broken


def main():
    site = Path(sys.argv[1])
    count, broken = broken_links(site)
    if count == 0:
        sys.exit(f"no pages under {site}")
    print(f"{count} pages, every internal link resolves" if not broken else "\n".join(broken))
    sys.exit(1 if broken else 0)


if __name__ == "__main__":
    main()
