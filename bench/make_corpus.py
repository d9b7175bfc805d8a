#!/usr/bin/env python3
"""Writes a deterministic Orvello project for benchmarks.

N pages spread over folders two levels deep (about 100 pages a folder), each with a title, a text
panel, a code listing, a link and an image; small PNG pictures of random pixels beside them; and a
favicon.png at the top. The same parameters always give the same bytes.
"""
import argparse
import os
import random
import re
import struct
import zlib


def png(rng, size):
    """A PNG of `size` x `size` random RGB pixels (they do not compress: about 3 * size**2 bytes)."""
    raw = b"".join(b"\x00" + rng.randbytes(size * 3) for _ in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 1))
            + chunk(b"IEND", b""))


WORDS = ("orvello site page block text code link image folder asset build static line panel "
         "listing title render walk copy style sheet favicon").split()


def sentence(rng, words):
    return " ".join(rng.choice(WORDS) for _ in range(words))


# The seven languages of the listings with --languages, each with the engine's name, the fence
# name a Markdown generator knows, and a sample listing of about 30 lines in bench/highlight/.
LANGUAGES = (("c", "C", "c"), ("cpp", "C++", "cpp"), ("py", "Python", "python"),
             ("sh", "Bash", "bash"), ("js", "JavaScript", "javascript"), ("html", "HTML", "html"),
             ("css", "CSS", "css"))
SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "highlight")


def listing(rng, index, code_lines, languages):
    """The code lines of a page and its language's entry (None for the plain C-like listing).

    With languages, page `index` shows the sample of language index % 7, its numbers drawn anew
    for each page, so that no two listings are the same."""
    if not languages:
        return [f"{'    ' * rng.randint(0, 3)}if (count_{i} < limit && ready) {{ total += "
                f"{rng.randint(0, 999)}; }}" for i in range(code_lines)], None
    language = LANGUAGES[index % len(LANGUAGES)]
    with open(os.path.join(SAMPLES, f"sample.{language[0]}"), encoding="utf-8") as f:
        sample = f.read().splitlines()
    lines = [re.sub(r"\b\d+\b", lambda _: str(rng.randint(0, 999)), line) for line in sample]
    return lines[:code_lines], language


def page(rng, index, assets, text_lines, code_lines, languages=False, highlight=False):
    lines = ["@title", f"@@text Page {index}: {sentence(rng, 4)}", "@end_title", "", "@text"]
    lines += [sentence(rng, rng.randint(4, 14)) + (" & <more>" if i % 7 == 0 else "")
              for i in range(text_lines)]
    lines += ["@end_text", "", "@code", "@@width 100%"]
    code, language = listing(rng, index, code_lines, languages)
    if highlight and language:
        lines.append(f"@@language {language[1]}")
    lines += code
    lines += ["@end_code", "", "@link", f"@@url page{(index + 1):06d}.htm", "@@text Next page",
              "@end_link"]
    for a in range(assets):
        lines += ["", "@image", f"@@src page{index:06d}-{a}.png", f"@@alt Picture {a}",
                  "@@width 320", "@end_image"]
    return "\n".join(lines) + "\n"


def markdown(rng, index, assets, text_lines, code_lines, languages=False, highlight=False):
    """The same content as a Markdown page for a peer generator."""
    lines = ["---", f'title: "Page {index}"', "---", "", f"# Page {index}: {sentence(rng, 4)}", ""]
    lines += [sentence(rng, rng.randint(4, 14)) + (" & <more>" if i % 7 == 0 else "") + "  "
              for i in range(text_lines)]
    code, language = listing(rng, index, code_lines, languages)
    lines += ["", "```" + (language[2] if highlight and language else "")]
    lines += code
    lines += ["```", "", f"[Next page](page{(index + 1):06d}/)"]
    for a in range(assets):
        lines += ["", f"![Picture {a}](page{index:06d}-{a}.png)"]
    return "\n".join(lines) + "\n"


PEER_LAYOUT = """<!DOCTYPE html>
<html lang="en"><head><meta charset="UTF-8"><title>{{ .Title }}</title></head>
<body>{{ .Content }}</body></html>
"""


def folder_of(index, pages_per_folder):
    group = index // pages_per_folder
    return os.path.join(f"s{group // 32:03d}", f"t{group % 32:02d}")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def write_peer_layout(root):
    """One layout and a configuration, so that a Markdown generator writes bare pages."""
    for name in ("single.html", "list.html"):
        write(os.path.join(root, "layouts", "_default", name), PEER_LAYOUT.encode())
    write(os.path.join(root, "config.toml"),
          b'baseURL = "http://localhost/"\ndisableKinds = ["taxonomy", "term", "RSS", "sitemap"]\n')


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("folder", help="the folder to create; proj/ is written inside it")
    parser.add_argument("--pages", type=int, default=1000)
    parser.add_argument("--assets-per-page", type=int, default=1)
    parser.add_argument("--text-lines", type=int, default=20)
    parser.add_argument("--code-lines", type=int, default=30)
    parser.add_argument("--pages-per-folder", type=int, default=100)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--languages", action="store_true",
                        help="listings in C, C++, Python, shell, JavaScript, HTML and CSS in turn")
    parser.add_argument("--highlight", action="store_true",
                        help="name each listing's language (@@language, or the fence's), so that "
                             "a site with settings colours them")
    parser.add_argument("--settings", action="store_true",
                        help="write an (empty) orvello.toml beside proj/: a site with settings")
    parser.add_argument("--markdown", metavar="SITE",
                        help="write the same content as a Markdown site in SITE instead of proj/")
    args = parser.parse_args()

    # Each page draws from its own generator, so both forms of the corpus hold the same words.
    if args.markdown:
        pages, assets, extension, render = os.path.join(args.markdown, "content"), os.path.join(
            args.markdown, "static"), ".md", markdown
        write_peer_layout(args.markdown)
    else:
        pages = assets = os.path.join(args.folder, "proj")
        extension, render = ".orv", page
    write(os.path.join(assets, "favicon.png"), png(random.Random(args.seed), 16))
    if args.settings and not args.markdown:
        write(os.path.join(args.folder, "orvello.toml"), b"")
    for index in range(args.pages):
        rng = random.Random(args.seed * 1_000_003 + index)
        folder = folder_of(index, args.pages_per_folder)
        text = render(rng, index, args.assets_per_page, args.text_lines, args.code_lines,
                      args.languages, args.highlight)
        write(os.path.join(pages, folder, f"page{index:06d}{extension}"), text.encode())
        for a in range(args.assets_per_page):
            write(os.path.join(assets, folder, f"page{index:06d}-{a}.png"), png(rng, rng.randint(26, 44)))


if __name__ == "__main__":
    main()
