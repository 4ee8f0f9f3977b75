#!/usr/bin/env python3
"""Every relative link and image of README.md and docs/*.md names a file of the
repository.

    check_links.py REPO_ROOT

A link target is taken relative to the page that holds it. It must lie inside
the repository, exist, and not be a file git ignores (a link into build/ works
only on the writer's machine). An anchor after '#' in a link to a Markdown page
must name one of that page's headings, as GitHub makes them (lower case,
punctuation dropped, spaces as hyphens). Links starting with a scheme
(http:, https:, mailto:) are not followed. Code blocks and code spans are not
links.

Exit status: 0 when every link resolves, 1 with one line per broken link
(page:line: target: why), 2 for a wrong command line.
"""
import os
import re
import subprocess
import sys

# [text](target "title") and ![alt](target); the target ends at the first
# space or the closing parenthesis (targets here hold no spaces or brackets).
INLINE = re.compile(r'(!?)\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^)\s>]*)>?(?:\s+"[^"]*")?\s*\)')
# [label]: target
REFERENCE = re.compile(r'^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+.*)?$')
# <img src="..."> and <a href="...">
HTML = re.compile(r'<(?:img|a)\b[^>]*?\b(?:src|href)\s*=\s*"([^"]*)"', re.IGNORECASE)
SCHEME = re.compile(r'^[A-Za-z][A-Za-z0-9+.-]*:')
FENCE = re.compile(r'^\s{0,3}(```|~~~)')
CODE_SPAN = re.compile(r'(`+)(?:(?!\1).)+?\1')
HEADING = re.compile(r'^\s{0,3}#{1,6}\s+(.*?)\s*#*\s*$')


def pages(root):
    found = [os.path.join(root, 'README.md')]
    docs = os.path.join(root, 'docs')
    if os.path.isdir(docs):
        found += sorted(os.path.join(docs, n) for n in os.listdir(docs) if n.endswith('.md'))
    return [p for p in found if os.path.isfile(p)]


def text_lines(path, blank_code=True):
    """The lines of a page outside fenced code blocks, with code spans blanked
    unless blank_code is false."""
    with open(path, encoding='utf-8') as f:
        lines = f.read().split('\n')
    fence = None
    for number, line in enumerate(lines, 1):
        m = FENCE.match(line)
        if fence:
            if m and m.group(1) == fence:
                fence = None
            continue
        if m:
            fence = m.group(1)
            continue
        yield number, CODE_SPAN.sub(lambda s: ' ' * len(s.group(0)), line) if blank_code else line


def slug(heading):
    """GitHub's anchor of a heading."""
    text = re.sub(r'`([^`]*)`', r'\1', heading)
    text = re.sub(r'!?\[([^\]]*)\]\([^)]*\)', r'\1', text)
    text = text.strip().lower()
    text = re.sub(r'[^\w\- ]', '', text)
    return text.replace(' ', '-')


def anchors(path, cache={}):
    if path not in cache:
        seen = {}
        names = set()
        for _, line in text_lines(path, blank_code=False):
            m = HEADING.match(line)
            if not m:
                continue
            base = slug(m.group(1))
            count = seen.get(base, 0)
            seen[base] = count + 1
            names.add(base if count == 0 else '%s-%d' % (base, count))
        cache[path] = names
    return cache[path]


def repository_files(root):
    """Files git tracks or would add (not ignored); None outside a git work tree."""
    try:
        out = subprocess.run(['git', '-C', root, 'ls-files', '-z', '--cached', '--others',
                              '--exclude-standard'], capture_output=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return None
    files = set()
    for name in out.decode('utf-8', 'surrogateescape').split('\0'):
        if name:
            files.add(os.path.normpath(os.path.join(root, name)))
    return files


def in_repository(target, root, files):
    if files is None:
        return os.path.exists(target)
    if target in files:
        return True
    if os.path.isdir(target):  # a folder counts when it holds a file of the repository
        prefix = target + os.sep
        return any(f.startswith(prefix) for f in files)
    return False


def links(path):
    for number, line in text_lines(path):
        for m in INLINE.finditer(line):
            yield number, m.group(2), 'image' if m.group(1) else 'link'
        for m in HTML.finditer(line):
            yield number, m.group(1), 'link'
        m = REFERENCE.match(line)
        if m:
            yield number, m.group(1), 'link'


def check(root):
    root = os.path.realpath(root)
    files = repository_files(root)
    problems = []
    checked = 0
    for page in pages(root):
        shown = os.path.relpath(page, root)
        for number, target, kind in links(page):
            if SCHEME.match(target) or target.startswith('//'):
                continue
            checked += 1
            where = '%s:%d: %s' % (shown, number, target or '(empty)')
            path, _, anchor = target.partition('#')
            if not path:
                resolved = page
            else:
                if path.startswith('/'):
                    problems.append(where + ': an absolute path; links are relative to the page')
                    continue
                resolved = os.path.normpath(os.path.join(os.path.dirname(page), path))
                if os.path.commonpath([resolved, root]) != root:
                    problems.append(where + ': points outside the repository')
                    continue
                if not in_repository(resolved, root, files):
                    why = 'is ignored by git' if os.path.exists(resolved) else 'no such file'
                    problems.append('%s: %s %s' % (where, kind, why))
                    continue
            if anchor and resolved.endswith('.md') and os.path.isfile(resolved):
                if anchor not in anchors(resolved):
                    problems.append('%s: no heading with the anchor #%s in %s'
                                    % (where, anchor, os.path.relpath(resolved, root)))
    return checked, problems


def main(argv):
    if len(argv) != 2 or not os.path.isdir(argv[1]):
        print('usage: check_links.py REPO_ROOT', file=sys.stderr)
        return 2
    checked, problems = check(argv[1])
    for p in problems:
        print(p)
    print('check_links: %d relative links and images in README.md and docs/*.md, %d broken'
          % (checked, len(problems)))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
