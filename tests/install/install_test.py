#!/usr/bin/python3
"""The setup program under Wine, in a Wine prefix of its own made afresh for
every run: a silent install, the installed program playing into the cable,
an upgrade over the running program, and both kinds of uninstall.

  install_test.py SETUP_EXE ZALOAUDIO_EXE UI_PROBE_EXE OUT_DIR

Needs the harness's display and sound server (scripts/harness.sh start;
source env.sh); the harness's own Wine prefix is left alone."""
import getpass
import os
import re
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'ui'))
import ui_test as ui  # noqa: E402  the window driver, registry reader and cable recorder

SETUP, BUILT_EXE, ui.PROBE, OUT = sys.argv[1:5]
ui.OUT, ui.SCENARIO = OUT, 'install'
PREFIX = os.path.join(OUT, 'wineprefix')
UNINST_KEY = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZaloAudio'
WIN_DIR = r'C:\users\%s\AppData\Local\Programs\ZALO AUDIO' % getpass.getuser()
USER_DIR = os.path.join(PREFIX, 'drive_c', 'users', getpass.getuser(), 'AppData')
INST_DIR = os.path.join(USER_DIR, 'Local/Programs/ZALO AUDIO')
SHORTCUT = os.path.join(USER_DIR, 'Roaming/Microsoft/Windows/Start Menu/Programs/ZALO AUDIO.lnk')
UNINSTALLER = 'Desinstalar ZALO AUDIO.exe'
THEME, START_WIN = 1027, 1013
os.makedirs(OUT, exist_ok=True)
LOG = open(os.path.join(OUT, 'wine.log'), 'w')


def wine(*args, timeout=120):
    """Runs a Windows program of the test prefix; its output goes to the log, never to a pipe that
    Wine's background processes could keep open."""
    return subprocess.run(['wine', *args], stdin=subprocess.DEVNULL, stdout=LOG, stderr=LOG, timeout=timeout).returncode


def make_prefix():
    # Wine links the prefix's Desktop to $HOME and mirrors shortcuts into the
    # Linux menus: both are kept inside the build tree.
    os.environ.update(WINEPREFIX=PREFIX, HOME=os.path.join(OUT, 'home'),
                      WINEDLLOVERRIDES=os.environ.get('WINEDLLOVERRIDES', '') + ';winemenubuilder.exe=d')
    os.makedirs(os.environ['HOME'], exist_ok=True)
    subprocess.run(['wineserver', '-k'], stderr=subprocess.DEVNULL)  # a server left by an aborted run
    shutil.rmtree(PREFIX, ignore_errors=True)
    os.makedirs(PREFIX)  # the server lives in it
    for cmd in (['wineserver', '-p'], ['wineboot', '-i']):
        subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=LOG, stderr=LOG, check=True, timeout=180)
    for key, name, data in ((r'HKCU\Software\Wine\Drivers', 'Audio', 'pulse'),
                            (r'HKCU\Software\Wine\Fonts\Replacements', 'Segoe UI', 'DejaVu Sans')):
        assert wine('reg', 'add', key, '/v', name, '/t', 'REG_SZ', '/d', data, '/f') == 0


def values(key):
    return {name: data for name, (_, data) in ui.reg_values(key).items()}


def uninstall(*switches):
    # In place (_?=), so that the run ends when the work is done; the
    # uninstaller cannot delete itself then, and is deleted here. _?= must
    # reach it unquoted although the folder's name has a space, which only a
    # batch file's line does (wine would quote the argument).
    with open(os.path.join(PREFIX, 'drive_c', 'uninstall.bat'), 'w') as f:
        f.write(f'"{WIN_DIR}\\{UNINSTALLER}" /S {" ".join(switches)} _?={WIN_DIR}\r\nexit /b %ERRORLEVEL%\r\n')
    code = wine('cmd', '/c', r'C:\uninstall.bat')
    os.remove(os.path.join(INST_DIR, UNINSTALLER))
    return code


def installed():
    return sorted(os.listdir(INST_DIR)) if os.path.isdir(INST_DIR) else None


def main():
    make_prefix()
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), '../../resources/version.h')) as f:
        version = '.'.join(re.findall(r'#define ZALO_VERSION_(?:MAJOR|MINOR|PATCH|BUILD) (\d+)', f.read()))
    # 1. Silent install: the program, its shortcut and its entry in "Apps and features".
    assert wine(SETUP, '/S') == 0
    assert installed() == [UNINSTALLER, 'ZaloAudio.exe'] and os.path.isfile(SHORTCUT)
    with open(BUILT_EXE, 'rb') as a, open(os.path.join(INST_DIR, 'ZaloAudio.exe'), 'rb') as b:
        assert a.read() == b.read(), 'the installed program is not the one built'
    entry = values(UNINST_KEY)
    exe, uninstaller = WIN_DIR + r'\ZaloAudio.exe', WIN_DIR + '\\' + UNINSTALLER
    assert int(entry.pop('EstimatedSize'), 16) >= os.path.getsize(BUILT_EXE) // 1024, entry
    assert entry == {'DisplayName': 'ZALO AUDIO', 'DisplayVersion': version, 'Publisher': 'Tecmora',
                     'DisplayIcon': exe + ',0', 'InstallLocation': WIN_DIR, 'UninstallString': f'"{uninstaller}"',
                     'QuietUninstallString': f'"{uninstaller}" /S', 'NoModify': '0x1', 'NoRepair': '0x1'}, entry
    # 2. The installed program starts and its voice reaches the cable.
    ui.EXE = exe
    with ui.Program() as program:
        ui.select_device(ui.HARNESS_MIC)
        x = ui.record_cable('installed-cable.raw', ui.play_tone)
        assert abs(ui.dominant_hz(x) - 440) < 5 and ui.peak(x) > 0.2
        # 3. A stored setting, then an upgrade while the program runs: the
        # installer asks it to quit, it quits cleanly, and the setting stays.
        ui.probe('click', THEME)
        assert ui.reg_query(ui.KEY, 'ThemeRed') == ('REG_DWORD', '0x1')
        # A copy that does not answer is waited for, then left running, and the run fails.
        program.send_signal(signal.SIGSTOP)
        try:
            assert wine(SETUP, '/S') == 2
        finally:
            program.send_signal(signal.SIGCONT)
        assert program.poll() is None
        assert wine(SETUP, '/S') == 0
        assert program.wait(timeout=10) == 0, 'not stopped by the installer, or not cleanly'
    assert ui.reg_query(ui.KEY, 'ThemeRed') == ('REG_DWORD', '0x1') and installed() == [UNINSTALLER, 'ZaloAudio.exe']
    # 4. "Iniciar com Windows" from the program, a file of the user's own in
    # the folder, then a silent uninstall while the program runs.
    with open(os.path.join(INST_DIR, 'minhas notas.txt'), 'w') as f:
        f.write('não apagar')
    with ui.Program() as program:
        ui.probe('click', START_WIN)
        assert ui.reg_query(ui.RUN_KEY, 'ZaloAudio') == ('REG_SZ', f'"{exe}"')
        assert uninstall() == 0
        assert program.wait(timeout=10) == 0
    assert installed() == ['minhas notas.txt'] and not os.path.exists(SHORTCUT)
    assert values(UNINST_KEY) == {} and ui.reg_query(ui.RUN_KEY, 'ZaloAudio') is None
    assert ui.reg_query(ui.KEY, 'ThemeRed') == ('REG_DWORD', '0x1'), 'settings removed without being asked'
    # 5. An uninstaller away from its installation refuses; at home, with
    # /REMOVESETTINGS, it removes the settings too.
    assert wine(SETUP, '/S') == 0
    stray = os.path.join(OUT, 'elsewhere')
    os.makedirs(stray, exist_ok=True)
    shutil.copy(os.path.join(INST_DIR, UNINSTALLER), stray)
    assert wine(os.path.join(stray, UNINSTALLER), '/S', '_?=Z:' + stray.replace('/', '\\')) == 2
    assert values(UNINST_KEY) and os.path.isfile(os.path.join(stray, UNINSTALLER))
    assert uninstall('/REMOVESETTINGS') == 0
    assert values(ui.KEY) == {} and installed() == ['minhas notas.txt'] and values(UNINST_KEY) == {}, (values(ui.KEY), installed(), values(UNINST_KEY))


if __name__ == '__main__':
    try:
        main()
    finally:
        subprocess.run(['wineserver', '-k'], env=dict(os.environ, WINEPREFIX=PREFIX))
    print('install: ok')
