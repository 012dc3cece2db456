# What a screen reader finds of the program over the accessibility bus, read
# with pyatspi as Orca reads it (reader-session.sh brings the bus up first):
# nothing covered or hidden showing, rows and enabled paging labels links
# whose press does what a click does, the bus told when rows come, the
# download list's entries and buttons reachable and pressable.

import json
import os
import socket
import subprocess
import sys
import time
from urllib.parse import urlsplit

import pyatspi
from gi.repository import GLib

ONDRIX, SITE, SITE_BASE, HOME_PAGE = sys.argv[1:5]
WORK = os.environ['ONDRIX_WORK']
HOME = os.environ['HOME']
SITE_LOG = os.path.join(WORK, 'site.log')
OPENED_LOG = os.path.join(WORK, 'xdg-open.log')
DOWNLOADS = os.path.join(HOME, 'Downloads')
failures = []
events = []  # (type, role, name) of what the bus was told


def check(ok, what):
    print(('ok: ' if ok else 'FAIL: ') + what, flush=True)
    failures.extend([] if ok else [what])


def wait(condition, seconds=30):
    """Runs the bus's events until condition() gives something, or None."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        try:
            got = condition()
        except Exception:  # a node gone while it was read, a site not up yet
            got = None
        if got:
            return got
        time.sleep(0.05)
    return None


def walk(node):
    yield node
    for child in filter(None, (node.getChildAtIndex(i) for i in range(node.childCount))):
        yield from walk(child)


def actions(node):
    try:
        action = node.queryAction()
    except NotImplementedError:
        return []
    return [action.getName(i) for i in range(action.nActions)]


def press(node):
    node.queryAction().doAction(actions(node).index('Press'))


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def find(root, role=None, name=None, contains=None):
    return next((n for n in walk(root) if (not role or n.getRoleName() == role)
                 and (name is None or n.name == name) and (contains is None or contains in (n.name or ''))), None)


def site_log():
    return open(SITE_LOG, encoding='latin-1').read() if os.path.exists(SITE_LOG) else ''


def seed_journal():
    """A download an earlier run left unfinished, a little of it on disk."""
    base = SITE_BASE.rstrip('/')
    path = os.path.join(DOWNLOADS, 'Debian Linux 安装指南.zip')
    with open(path + '.part', 'wb') as f:
        f.write(b'\0' * 1000)
    entry = {'url': f'{base}/d/ljnkg5', 'page': f'{base}/f/ljnkg5.html', 'title': os.path.basename(path),
             'path': path, 'partial': path + '.part', 'bytes': 1000, 'total': -1}
    data = os.path.join(HOME, '.local/share/Ondrix/Ondrix')
    os.makedirs(data, exist_ok=True)
    with open(os.path.join(data, 'downloads.json'), 'w') as f:
        json.dump({'format': 1, 'downloads': [entry]}, f)


def entry_of(window, name):
    """The download list's row that shows this name: its labels and buttons."""
    label = find(window, role='label', name=name)
    return label.parent if label else None


def main():
    os.makedirs(DOWNLOADS, exist_ok=True)
    seed_journal()
    site, home = urlsplit(SITE_BASE), urlsplit(HOME_PAGE)
    demo = subprocess.Popen([SITE, '--bind', site.hostname, '--site-port', str(site.port), '--home-bind',
                             home.hostname, '--home-port', str(home.port), '--log', SITE_LOG],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for where in (site, home):  # the program starts once both sites answer
        listening = wait(lambda: socket.create_connection((where.hostname, where.port), timeout=1).close() or True)
        check(listening, f'the demo site listens on {where.netloc}')
    def heard(event):
        try:
            events.append((event.type, event.source.getRoleName(), event.source.name))
        except GLib.Error:  # the object has gone meanwhile
            pass

    pyatspi.Registry.registerEventListener(heard, 'object:property-change:accessible-name',
                                           'object:state-changed:showing', 'object:children-changed')
    program = subprocess.Popen([ONDRIX], stderr=open(os.path.join(WORK, 'ondrix.log'), 'w'))
    try:
        run()
    finally:
        program.terminate()
        demo.terminate()
        program.wait(10)


def run():
    desktop = pyatspi.Registry.getDesktop(0)
    app = wait(lambda: next((a for a in desktop if a is not None and a.name == 'Ondrix'), None), 60)
    check(app is not None, 'the program is on the accessibility bus')
    if app is None:
        print(open(os.path.join(WORK, 'ondrix.log')).read()[-3000:])
        return
    window = wait(lambda: find(app, name='Ondrix V2.01'))
    entry = wait(lambda: find(window, role='link', contains='Ondrix 资源搜索使用指南'))
    check(entry is not None and 'Press' in actions(entry), 'an advertised row is a link that presses')
    marker = find(window, role='label', name='href="/f/')
    check(marker is not None and not showing(marker), 'the search marker under the background is not showing')
    progress = find(window, name='正在搜索，请稍侯')
    check(progress is not None and not showing(progress), 'the progress text under row 4 is not showing')

    events.clear()
    box = find(window, role='text', name='搜索关键词')
    box.queryEditableText().setTextContents('教程')
    press(find(window, role='push button', name='搜索'))
    first = wait(lambda: find(window, role='link', contains='Qt 编程入门教程'))
    check(first is not None, 'the results are read out')

    def result_rows():
        return [n for n in walk(window) if n.getRoleName() == 'link' and '(' in (n.name or '') and showing(n)]

    rows = wait(lambda: (lambda now: now if len(now) > 1 else None)(result_rows())) or []
    check(len(rows) > 1 and all('Press' in actions(r) for r in rows), 'every shown row is a link that presses')
    check(not showing(marker), 'the marker is still not showing')
    # Showing under a control that is not: somewhere below it, a node shows whose parent does not.
    hidden = [n.name for n in walk(window) if n != window and showing(n) and not showing(n.parent)]
    check(not hidden, f'nothing inside a hidden control is showing ({hidden[:3]})')
    progress = find(window, role='label', contains='正在搜索')
    check(progress is None or not showing(progress), 'the progress text is not showing once rows are')
    following = find(window, role='link', name='下一页')
    previous = find(window, role='link', name='上一页')
    check('Press' in actions(following), 'the enabled 下一页 presses')
    check('Press' not in actions(previous), 'the disabled 上一页 has no press')
    # Told once the rows changed; the bus's events may come a little after.
    names = wait(lambda: [e for e in events
                          if e[0].startswith('object:property-change:accessible-name') and e[1] == 'link'], 10) or []
    shown = wait(lambda: [e for e in events if e[0].startswith('object:state-changed:showing')], 10) or []
    check(bool(names), f'the bus was told the rows\' new names ({len(names)} events)')
    check(bool(shown), f'the bus was told what shows ({len(shown)} events)')
    downloads(app, first)
    page1 = [r.name for r in rows]
    press(following)
    check(wait(lambda: 'page=2' in site_log()) is not None, 'pressing 下一页 turns the page')
    check(wait(lambda: (lambda now: now and now != page1)([r.name for r in result_rows()])) is not None,
          'the next page\'s rows are read out')
    box.queryEditableText().setTextContents('zzzz')
    press(find(window, role='push button', name='搜索'))
    nothing = wait(lambda: find(window, role='label', name='没有找到相关的免费资源'))
    check(nothing is not None and showing(nothing), 'a search without results says so, showing')


def downloads(app, first):
    before = site_log().count('GET /f/a1b2c3.html')
    press(first)
    check(wait(lambda: site_log().count('GET /f/a1b2c3.html') > before) is not None,
          'pressing a row requests its file page')
    listed = wait(lambda: find(app, name='下载'))
    check(listed is not None, 'the download list is on the bus')

    def finished():
        row = entry_of(listed, 'Qt 编程入门教程.zip')
        return row if row is not None and find(row, role='label', name='已完成') is not None else None

    done = wait(finished, 60)
    check(done is not None, 'the row\'s entry reads its name and 已完成')
    if done is not None:
        press(find(done, role='push button', name='打开'))
        check(wait(lambda: os.path.exists(OPENED_LOG) and 'Qt' in open(OPENED_LOG).read()) is not None,
              '打开 hands the file to the desktop')

    other = entry_of(listed, 'Debian Linux 安装指南.zip')
    check(other is not None, 'the entry of the earlier run is on the bus')
    if other is not None:
        press(find(other, role='push button', name='继续'))
        check(wait(lambda: 'GET /f/ljnkg5.html' in site_log()) is not None, '继续 starts it again from its file page')


if __name__ == '__main__':
    main()
    print('failed: ' + '; '.join(failures) if failures else 'all checks passed')
    sys.exit(1 if failures else 0)
