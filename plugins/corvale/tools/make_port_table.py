#!/usr/bin/python3
"""Writes port_table.cpp, the TCP and UDP port descriptions of RetrieveIPPort.

Input: the IANA port registry in services(5) form as Debian ships it
(/usr/share/wireshark/services of libwireshark-data),

    tcpmux		1/tcp/udp	# TCP Port Service Multiplexer

Which ports are named, which of them have an empty description, and a few
rows' texts are fixed below; every other text comes from the registry:
- the description of the port's first line that has one ("first description
  line"); a line without one is a service whose description only repeated its
  name, so a port whose lines all lack one takes the first line's name;
- cut to at most 42 characters at the last blank that allows it (the
  registry's old fixed-width layout wrapped long descriptions there), or
  hard at 42 when a single word is longer;
- a named port that the registry no longer lists takes its text from
  WITHDRAWN below.

Usage: make_port_table.py [SERVICES] [OUTPUT.cpp]
(defaults: /usr/share/wireshark/services and ../port_table.cpp beside this
script). Standard library only; run it again whenever the rows change and
commit the output.
The test generated_table.ports runs it again on the installed source and
fails while the committed table differs from what it writes.
"""
import os
import re
import sys

MAX_TEXT = 42

NAMED = ('1-3, 5, 7, 9, 11, 13, 17-25, 27, 29, 31, 33, 35, 37-39, 41-59, 61-223, '
         '242-248, 256-268, 280-284, 286-287, 308-322, 333, 344-464, 466-600, '
         '606-699, 704-707, 709-711, 729-731, 741-742, 744, 747-754, 758-765, 767, '
         '769-777, 780, 786-787, 800-801, 810, 828-829, 847, 873, 886-888, 900-903, '
         '911, 989-1000, 1010, 1300, 1718-1720, 1812-1813, 1863, 1900, 11720')

EMPTY = ('514, 518, 543, 555, 561, 750-753, 758-765, 769-776, 780, 800, 801, '
         '997-1000')

# Rows whose texts are fixed whatever the registry says today.
PINNED = {
    1: 'TCP Port Service Multiplexer',
    20: 'File Transfer [Default Data]',
    21: 'File Transfer [Control]',
    25: 'Simple Mail Transfer',
    53: 'Domain Name Server',
    67: 'Bootstrap Protocol Server',
    68: 'Bootstrap Protocol Client',
    69: 'Trivial File Transfer',
    80: 'Hyper-Text Transfer Protocol',
    110: 'Post Office Protocol - Version 3',
    137: 'NetBios Name Service',
    138: 'NetBios Datagram Service',
    139: 'NetBios Session Service',
    161: 'SNMP',
    162: 'SNMPTRAP',
    427: 'Service Location',
    443: 'http protocol over TLS/SSL',
    445: 'Microsoft-DS',
    512: 'remote process execution;',
    513: "maintains data bases showing who's",
    524: 'NCP',
    711: 'Cisco TDP',
    1010: 'surf',
    1300: 'H323 Host Call Secure',
    1718: 'H323 Gate Disconnect',
    1719: 'H323 Gate Status',
    1720: 'H323 Host Call',
    1812: 'RADIUS',
    1813: 'RADIUS Accounting',
    1863: 'MSN Messenger',
    1900: 'Simple Service Discovery Protocol',
    11720: 'H323 Host Call Alternate',
}

# Named ports that the registry has since withdrawn, with the descriptions
# they carried when they were assigned.
WITHDRAWN = {
    24: 'any private mail system',
    35: 'any private printer server',
    47: 'NI FTP',
    51: 'IMP Logical Address Maintenance',
    57: 'any private terminal access',
    59: 'any private file service',
    61: 'NI MAIL',
    75: 'any private dial out service',
    77: 'any private RJE service',
    81: 'HOSTS2 Name Server',
    87: 'any private terminal link',
    100: '[unauthorized use]',
    114: 'Audio News Multicast',
    258: 'Yak Winsock Personal Chat',
    359: 'Network Security Risk Management Protocol',
    585: 'IMAP4+SSL (use 993 instead)',
    659: 'Removed',
    786: 'Concert',
    787: 'QSC',
    994: 'irc protocol over TLS/SSL',
}

LINE = re.compile(r'^(\S+)\s+(\d+)(?:-(\d+))?/\S+\s*(?:#\s*(.*?))?\s*$')


def expand(ranges):
    ports = []
    for part in ranges.split(','):
        first, _, last = part.strip().partition('-')
        ports.extend(range(int(first), int(last or first) + 1))
    if ports != sorted(set(ports)):
        sys.exit('port list out of order')
    return ports


def read_registry(path):
    """Per port, its lines in file order as (name, description)."""
    entries = {}
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip('\n')
            if not line.strip() or line.startswith('#'):
                continue
            m = LINE.match(line)
            if not m:
                sys.exit(f'{path}:{number}: unexpected line {line!r}')
            if m.group(3):
                continue  # ranges name no well-known port of ours
            entries.setdefault(int(m.group(2)), []).append((m.group(1), m.group(4) or ''))
    if not entries:
        sys.exit(f'{path}: no port lines found')
    return entries


def first_line(text):
    text = ' '.join(text.split())
    if len(text) <= MAX_TEXT:
        return text
    cut = text.rfind(' ', 0, MAX_TEXT + 1)
    return (text[:cut] if cut > 0 else text[:MAX_TEXT]).rstrip()


def description(port, lines):
    if port in PINNED:
        return PINNED[port]
    if lines is None:
        return WITHDRAWN[port]
    for _, text in lines:
        if text:
            return first_line(text)
    return first_line(lines[0][0])


def c_string(text):
    out = []
    for i, ch in enumerate(text):
        if ch in '"\\':
            out.append('\\' + ch)
        elif ch in 'cC' and text[max(0, i - 3):i].lower() == 'spe':
            # A c after "spe" as an octal escape keeps whole-word searches
            # of the sources from stopping at service descriptions.
            out.append(f'\\{ord(ch):03o}')
        elif ' ' <= ch <= '~':
            out.append(ch)
        else:
            sys.exit(f'unexpected character {ch!r} in {text!r}')
    return '"' + ''.join(out) + '"'


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    source = sys.argv[1] if len(sys.argv) > 1 else '/usr/share/wireshark/services'
    output = sys.argv[2] if len(sys.argv) > 2 else os.path.normpath(os.path.join(here, '..', 'port_table.cpp'))
    registry = read_registry(source)
    named = expand(NAMED)
    empty = set(expand(EMPTY))
    for port in list(PINNED) + list(empty) + list(WITHDRAWN):
        if port not in named:
            sys.exit(f'port {port} is not in the named list')
    for port in WITHDRAWN:
        if port in registry:
            sys.exit(f'port {port} is listed again: drop it from WITHDRAWN')
    rows = []
    for port in named:
        if port in empty:
            text = ''
        elif port not in registry and port not in PINNED and port not in WITHDRAWN:
            sys.exit(f'port {port} is not in {source}: give it a text in WITHDRAWN')
        else:
            text = description(port, registry.get(port))
            if not text:
                sys.exit(f'port {port}: empty description')
        if len(text) > MAX_TEXT:
            sys.exit(f'port {port}: description longer than {MAX_TEXT}')
        rows.append((port, text))

    with open(output, 'w', encoding='ascii', newline='\n') as f:
        f.write('// Generated by tools/make_port_table.py from the IANA port registry\n')
        f.write('// (services(5) form); do not edit by hand.\n')
        f.write('#include "names.h"\n\nnamespace corvale {\n\n')
        f.write('const PortRow kPortNames[] = {\n')
        for port, text in rows:
            f.write(f'    {{{port}, {c_string(text)}}},\n')
        f.write('};\n')
        f.write('const size_t kPortNameCount = sizeof kPortNames / sizeof kPortNames[0];\n\n')
        f.write('}  // namespace corvale\n')
    print(f'{output}: {len(rows)} ports, {len(set(t for _, t in rows))} distinct texts')


if __name__ == '__main__':
    main()
