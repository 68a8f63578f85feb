#!/usr/bin/env python3
"""Checks translations/relm_en.ts against the texts the sources hold now.

lupdate reads the sources into a fresh file; every text found there must have a finished English
translation in relm_en.ts, relm_en.ts must hold no text the sources no longer have, a translation
must carry the same %N markers as its Japanese and no Japanese of its own.

usage: check_translations.py LUPDATE SOURCE_DIR TS_FILE [LUPDATE OPTIONS...]
"""
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

JAPANESE = re.compile('[\u3000-\u30ff\u3400-\u9fff\uff00-\uffef]')
MARKER = re.compile(r'%[1-9n]')


def messages(path):
    found = {}
    for context in ET.parse(path).getroot().iter('context'):
        name = context.findtext('name')
        for message in context.iter('message'):
            translation = message.find('translation')
            if translation is None:
                found[(name, message.findtext('source'))] = ('', 'missing')
                continue
            # A text with a count has one form for each: every one must be there.
            forms = [f.text or '' for f in translation.iter('numerusform')]
            text = translation.text or ''
            if message.get('numerus') == 'yes':
                text = '' if not forms or '' in forms else ' '.join(forms)
            found[(name, message.findtext('source'))] = (text, translation.get('type'))
    return found


def problems(sources, kept):
    wrong = []
    for key in sorted(sources):
        if key not in kept:
            wrong.append(f'missing: {key}')
            continue
        text, kind = kept[key]
        if kind is not None or text == '':
            wrong.append(f'unfinished ({kind or "empty"}): {key}')
        elif set(MARKER.findall(text)) != set(MARKER.findall(key[1])):
            wrong.append(f'markers differ: {key} -> {text!r}')
        elif JAPANESE.search(text):
            wrong.append(f'Japanese left in the translation: {key} -> {text!r}')
    for key in sorted(set(kept) - set(sources)):
        wrong.append(f'obsolete: {key}')
    return wrong


def main():
    lupdate, source_dir, ts_file, *options = sys.argv[1:]
    with tempfile.TemporaryDirectory() as scratch:
        fresh = f'{scratch}/fresh_en.ts'
        subprocess.run([lupdate, '-silent', *options, source_dir, '-ts', fresh], check=True)
        sources = messages(fresh)
    if len(sources) < 100:
        print(f'lupdate found only {len(sources)} texts in {source_dir}')
        return 1
    wrong = problems(set(sources), messages(ts_file))
    for line in wrong:
        print(line)
    print(f'{len(sources)} texts, {len(wrong)} problems')
    return 1 if wrong else 0


if __name__ == '__main__':
    sys.exit(main())
