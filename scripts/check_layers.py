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
# The folders of each layer, bottom up.
FOLDERS = {
    'rules': ['errors', 'files', 'statements', 'settings', 'calls', 'lists', 'records', 'transfer', 'formats'],
    'data': ['engine', 'numbers', 'work', 'connection', 'dataset', 'calls', 'lists', 'transfer', 'maintenance',
             'module'],
    'ui': ['kit', 'web', 'calls', 'lists', 'records', 'transfer', 'maintenance', 'desktop', 'shell'],
}
# Headers of other libraries (by the start of their path) and the folders
# that may include them.
LIBRARY_HEADERS = {
    'sqlite3.h': {'data/engine', 'rules/formats'},
    'libpq-fe.h': {'data/engine'},
    'freexl.h': {'rules/formats'},
    'mdbtools.h': {'rules/formats'},
    'mdbsql.h': {'rules/formats'},
    'xlsxwriter.h': {'rules/formats'},
    'unzip.h': {'rules/formats'},
    'zip.h': {'rules/formats'},
    'minizip/': {'rules/formats'},
    'phonenumbers/': {'rules/calls'},
    'unicode/': {'rules/calls'},
    'qt6keychain/': {'ui/shell'},
}
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


def folder_of(path):
    """'data/engine' for data/engine/engine.h (None outside a layer folder)."""
    parts = path.split('/')
    return '/'.join(parts[:2]) if len(parts) > 2 and parts[0] in LAYERS else None


def folder_rank(folder):
    layer, name = folder.split('/')
    order = FOLDERS.get(layer, [])
    return order.index(name) if name in order else None


def library_allowed(target):
    for start, folders in LIBRARY_HEADERS.items():
        if target == start or (start.endswith('/') and target.startswith(start)):
            return folders
    return None


def declared_functions(headers):
    """Maps 'namespace::name' to the layers whose headers declare it."""
    found = {}
    for path, code in headers:
        layer = layer_of(path)
        for ns in re.finditer(r'\bnamespace\s+(\w+)\s*\{', code):
            depth, i = 1, ns.end()
            while i < len(code) and depth:
                depth += {'{': 1, '}': -1}.get(code[i], 0)
                i += 1
            body = code[ns.end():i]
            for f in re.finditer(r'\b(\w+)\s*\([^;{}]*\)\s*(?:noexcept\s*)?;', body):
                found.setdefault(ns.group(1) + '::' + f.group(1), set()).add(layer)
    return found


def foreign_definitions(path, code, declared):
    """Functions this source file defines in a namespace whose declaration
    lies in another layer's header."""
    layer = layer_of(path)
    found = []
    for ns in re.finditer(r'^namespace\s+(\w+)\s*\{', code, re.M):
        depth, i = 1, ns.end()
        while i < len(code) and depth:
            depth += {'{': 1, '}': -1}.get(code[i], 0)
            i += 1
        body = code[ns.end():i]
        # Definitions at the namespace's own level.
        flat, d = [], 0
        for ch in body:
            if ch == '{':
                d += 1
                if d == 1:
                    flat.append('{')
                continue
            if ch == '}':
                d -= 1
                continue
            if d == 0:
                flat.append(ch)
        for f in re.finditer(r'\b(\w+)\s*\([^;{}]*\)\s*(?:const\s*)?\{', ''.join(flat)):
            layers = declared.get(ns.group(1) + '::' + f.group(1))
            if layers and layer not in layers:
                found.append(f'{ns.group(1)}::{f.group(1)} (declared in the {"/".join(sorted(layers))} layer)')
    return found


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
        folder = folder_of(path)
        if layer and (folder is None or folder_rank(folder) is None):
            errors.append(f'src/{path}: in a folder the layer check does not know (add it to FOLDERS in its place)')
            folder = None
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
                target_folder = folder_of(target)
                if (folder and target_folder and layer_of(target) == layer and target_folder != folder and
                        folder_rank(target_folder) is not None and
                        folder_rank(target_folder) > folder_rank(folder)):
                    errors.append(f'src/{path}:{number}: {folder} includes "{target}" from {target_folder}, '
                                  f'which comes after it')
            elif library_allowed(target) is not None:
                if os.path.dirname(path) not in library_allowed(target):
                    errors.append(f'src/{path}:{number}: includes <{target}>, which only '
                                  f'{", ".join(sorted(library_allowed(target)))} may wrap')
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

    # A function declared in one layer and defined in another.
    texts = {}
    for path in sources():
        with open(os.path.join(SRC, path), encoding='utf-8') as f:
            texts[path] = strip_code(f.read())
    declared = declared_functions([(p, c) for p, c in texts.items() if p.endswith('.h') and layer_of(p)])
    for path, code in texts.items():
        if path.endswith('.cpp') and layer_of(path):
            for what in foreign_definitions(path, code, declared):
                errors.append(f'src/{path}: defines {what}')

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
