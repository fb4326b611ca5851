#!/usr/bin/env python3
"""Checks the shape of src/ before the tests run.

Layers, bottom up: src/rules (Qt Core), src/data (adds Qt Sql), src/ui
(everything else).  A file may include files of its own layer or lower ones
and Qt headers of the modules its layer allows; every source file lies in one
of the three layer folders (src/main.cpp, the program's entry, aside); no
two units (a header with its source file) include each other, directly or
round a longer loop.

The code checks (include loops, file and function sizes, numbered widget
names, public data members of window classes) are reported, and fail the run
only with --strict.
"""
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(__file__), '..'))
SRC = os.path.join(ROOT, 'src')
LAYERS = ['rules', 'data', 'ui']
QT_MODULES = {'rules': {'QtCore'}, 'data': {'QtCore', 'QtSql'}, 'ui': None}
MAX_FILE_LINES = 600
MAX_FUNCTION_LINES = 80
NUMBERED_NAME = re.compile(
    r'\b(?:BitBtn|Button|Edit|Label|ComboBox|ListBox|Memo|TabSheet|PageControl|Timer|UpDown|'
    r'DBGrid|DBEdit|DBMemo|DBComboBox|WebBrowser|webgd|StatusBar|Panel|N)\d+\w*\b')


def qt_header_modules():
    """Maps every Qt class header (<QString>) to its module folder (QtCore)."""
    found = {}
    for base in ('/usr/include/x86_64-linux-gnu/qt6', '/usr/include/aarch64-linux-gnu/qt6',
                 '/usr/include/qt6'):
        if not os.path.isdir(base):
            continue
        for module in os.listdir(base):
            folder = os.path.join(base, module)
            if os.path.isdir(folder):
                for name in os.listdir(folder):
                    found.setdefault(name, module)
    return found


def sources():
    for folder, _, names in os.walk(SRC):
        for name in sorted(names):
            if name.endswith(('.h', '.cpp')):
                yield os.path.relpath(os.path.join(folder, name), SRC)


def layer_of(path):
    head = path.split(os.sep)[0]
    return head if head in LAYERS else None


def strip_code(text):
    """The text with comments and string/char literals blanked, lines kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i)
            j = n if j < 0 else j
            i = j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append('\n' * text.count('\n', i, j))
            i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(')' + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""' + '\n' * text.count('\n', i, j))
            i = j
        elif c in '"\'':
            j = i + 1
            while j < n and text[j] != c and text[j] != '\n':
                j += 2 if text[j] == '\\' else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def long_functions(code):
    """(first line, length) of every function body longer than the limit."""
    found = []
    stack = []  # kinds of the open blocks
    since = []  # text since the last statement or block boundary
    line = 1
    for c in code:
        if c == '\n':
            line += 1
        if c == '{':
            head = ''.join(since)
            if any(kind == 'function' for kind, _ in stack):
                kind = 'inner'
            elif re.search(r'\bnamespace\b', head):
                kind = 'namespace'
            elif re.search(r'\b(class|struct|union|enum)\b', head) and '(' not in head.split(':')[0]:
                kind = 'class'
            elif ')' in head and not re.search(r'=\s*$', head.strip()):
                kind = 'function'
            else:
                kind = 'other'
            stack.append((kind, line))
            since = []
        elif c == '}':
            if stack:
                kind, start = stack.pop()
                if kind == 'function' and line - start + 1 > MAX_FUNCTION_LINES:
                    found.append((start, line - start + 1))
            since = []
        elif c == ';':
            since = []
        else:
            since.append(c)
    return found


def public_window_members(code):
    """Names of data members under public: in classes that are widgets."""
    found = []
    for m in re.finditer(r'\bclass\s+(\w+)\s*(?:final\s*)?:\s*public\s+(Q\w*(?:Widget|Window|Dialog|Box|Edit|View)\w*)'
                         r'[^{;]*\{', code):
        depth, i, section = 1, m.end(), 'private'
        body_start = i
        while i < len(code) and depth:
            if code[i] == '{':
                depth += 1
            elif code[i] == '}':
                depth -= 1
            i += 1
        body = code[body_start:i - 1]
        # Only the class's own level: blank nested blocks.
        flat, depth = [], 0
        for ch in body:
            if ch == '{':
                depth += 1
            elif ch == '}':
                depth -= 1
                continue
            if depth == 0:
                flat.append(ch)
        for statement in re.split(r';', ''.join(flat)):
            for label in re.findall(r'\b(public|protected|private)\s*(?:slots\s*)?:', statement):
                section = label
            statement = re.sub(r'.*\b(?:public|protected|private|signals)\s*(?:slots\s*)?:', '', statement, flags=re.S)
            s = ' '.join(statement.split())
            if section != 'public' or not s or '(' in s or s.startswith(('using ', 'friend ', 'enum ', 'static constexpr', 'typedef ', 'Q_', 'class ', 'struct ')):
                continue
            name = re.findall(r'(\w+)\s*(?:=[^=].*|\{.*\})?$', s)
            if name:
                found.append(m.group(1) + '::' + name[0])
    return found


def main():
    strict = '--strict' in sys.argv
    qt = qt_header_modules()
    errors, notes = [], []
    graph = {}
    for path in sources():
        layer = layer_of(path)
        if layer is None and path != 'main.cpp':
            errors.append(f'src/{path}: not in a layer folder (src/rules, src/data, src/ui)')
        with open(os.path.join(SRC, path), encoding='utf-8') as f:
            text = f.read()
        unit = os.path.splitext(path)[0]
        graph.setdefault(unit, set())
        for number, line in enumerate(text.splitlines(), 1):
            m = re.match(r'\s*#\s*include\s*([<"])([^>"]+)[>"]', line)
            if not m:
                continue
            target = m.group(2)
            if m.group(1) == '"':
                if not os.path.exists(os.path.join(SRC, target)):
                    errors.append(f'src/{path}:{number}: includes "{target}", which is not a path under src/')
                    continue
                if os.path.splitext(target)[0] != unit:
                    graph[unit].add(os.path.splitext(target)[0])
                if layer and LAYERS.index(layer_of(target)) > LAYERS.index(layer):
                    errors.append(f'src/{path}:{number}: the {layer} layer includes "{target}" from the '
                                  f'higher {layer_of(target)} layer')
            elif layer and QT_MODULES[layer] is not None and target in qt:
                if qt[target] not in QT_MODULES[layer]:
                    errors.append(f'src/{path}:{number}: the {layer} layer includes <{target}> of {qt[target]}')
        code = strip_code(text)
        lines = text.count('\n') + 1
        if lines > MAX_FILE_LINES:
            notes.append(f'src/{path}: {lines} lines (at most {MAX_FILE_LINES})')
        for start, length in long_functions(code):
            notes.append(f'src/{path}:{start}: a function of {length} lines (at most {MAX_FUNCTION_LINES})')
        for m in sorted(set(NUMBERED_NAME.findall(code))):
            notes.append(f'src/{path}: numbered name {m}')
        if path.endswith('.h'):
            for member in public_window_members(code):
                notes.append(f'src/{path}: public data member {member}')

    # Include loops between units (a header and its source file are one), by
    # depth-first search.
    state = {}

    def visit(node, trail):
        state[node] = 'open'
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == 'open':
                loop = trail[trail.index(nxt):] + [nxt]
                notes.append('include loop: ' + ' -> '.join('src/' + p for p in loop))
            elif nxt not in state:
                visit(nxt, trail + [nxt])
        state[node] = 'done'

    for node in sorted(graph):
        if node not in state:
            visit(node, [node])

    for e in errors:
        print('error:', e)
    for n in notes:
        print(('error: ' if strict else 'note: ') + n)
    failed = bool(errors) or (strict and bool(notes))
    print(f'layer check: {len(errors)} errors, {len(notes)} notes' + (' (strict)' if strict else ''))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
