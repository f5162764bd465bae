#!/usr/bin/env python3
"""Checks the export table of a 32-bit TALMOR32.DLL without running it.

Usage: check_export_table.py TALMOR32.DLL [objdump [nm]]

Reads the table with objdump -p and the symbols with nm, and checks: ordinal base 2 and 32
ordinal slots (2 to 33); the 23 undecorated names, each at its ordinal; ordinals 8, 9, 12 and 14
to 19 empty; no other name exported; each export's address is that of the stdcall function
_Name@N whose N is 4 bytes per argument; only system DLLs and QVSHARE.dll imported. Prints PASS
or FAIL per check and "RESULT PASS" or "RESULT FAIL"; exits 0 only on a pass.
"""
import re
import subprocess
import sys

# Ordinal, name and number of 32-bit arguments of every export.
EXPORTS = [
    (2, "FilterDllMsg", 1), (3, "ProcessDllIdle", 0), (4, "SecurityLogin", 1),
    (5, "SecurityLogoff", 0), (6, "SecuritySave", 0), (7, "SecurityGetCurrentUser", 6),
    (10, "SecurityEnquire", 2), (11, "SecurityNote", 5), (13, "SecurityEnquireNoAudit", 2),
    (20, "SecurityAccountPolicy", 1), (21, "SecurityRightsPolicy", 1),
    (22, "SecurityAuditPolicy", 1), (23, "SecurityGetUser", 7), (24, "SecurityGetGroup", 5),
    (25, "SecurityEditUser", 3), (26, "SecurityEditGroup", 3), (27, "SecurityCopyUser", 3),
    (28, "SecurityCopyGroup", 3), (29, "SecurityDeleteUser", 3), (30, "SecurityDeleteGroup", 3),
    (31, "SecurityGetRight", 3), (32, "SecurityLogView", 1), (33, "SecurityIndividualINI", 0),
]
EMPTY = [8, 9, 12, 14, 15, 16, 17, 18, 19]
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "advapi32.dll",
               "comctl32.dll", "comdlg32.dll", "shell32.dll", "ole32.dll", "bcrypt.dll", "wldap32.dll",
               "qvshare.dll"}

failed = 0


def check(ok, name, why=""):
    global failed
    if ok:
        print("PASS " + name)
    else:
        failed += 1
        print("FAIL " + name + (": " + why if why else ""))


def main():
    dll = sys.argv[1]
    objdump = sys.argv[2] if len(sys.argv) > 2 else "i686-w64-mingw32-objdump"
    nm = sys.argv[3] if len(sys.argv) > 3 else "i686-w64-mingw32-nm"
    dump = subprocess.run([objdump, "-p", dll], check=True, capture_output=True,
                          text=True).stdout

    check(re.search(r"file format pei-i386", subprocess.run(
        [objdump, "-f", dll], check=True, capture_output=True, text=True).stdout) is not None,
        "a 32-bit x86 DLL")
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", dump, re.M).group(1), 16)
    base = re.search(r"Ordinal Base\s+(\d+)", dump)
    check(base is not None and int(base.group(1)) == 2, "ordinal base 2",
          base.group(1) if base else "no export table")
    slots = re.search(r"Export Address Table\s+([0-9a-fA-F]+)\n", dump)
    check(slots is not None and int(slots.group(1), 16) == 32, "32 ordinal slots",
          str(int(slots.group(1), 16)) if slots else "")

    # "[   5] +base[   7] 1ec0 Export RVA": slot, ordinal, address.
    rva_by_ordinal = {}
    for m in re.finditer(r"\[\s*\d+\] \+base\[\s*(\d+)\] ([0-9a-fA-F]+) Export RVA", dump):
        if int(m.group(2), 16) != 0:
            rva_by_ordinal[int(m.group(1))] = int(m.group(2), 16)
    # "[   5] SecurityGetCurrentUser" in the name table: slot (ordinal - base), name.
    names_part = dump.split("[Ordinal/Name Pointer] Table", 1)
    ordinal_by_name = {}
    if len(names_part) == 2:
        for m in re.finditer(r"^\s*\[\s*(\d+)\] (\S+)$", names_part[1].split("\n\n", 1)[0], re.M):
            ordinal_by_name[m.group(2)] = int(m.group(1)) + 2

    expected_names = {name for _, name, _ in EXPORTS}
    check(set(ordinal_by_name) == expected_names, "exactly the 23 undecorated names",
          "extra %s, missing %s" % (sorted(set(ordinal_by_name) - expected_names),
                                    sorted(expected_names - set(ordinal_by_name))))
    wrong = [name for ordinal, name, _ in EXPORTS if ordinal_by_name.get(name) != ordinal]
    check(not wrong, "every name at its ordinal", ", ".join(wrong))
    present = [o for o in EMPTY if o in rva_by_ordinal]
    check(not present, "ordinals 8, 9, 12 and 14 to 19 empty", str(present))
    check(set(rva_by_ordinal) == {o for o, _, _ in EXPORTS}, "no unnamed ordinal in use",
          str(sorted(set(rva_by_ordinal) - {o for o, _, _ in EXPORTS})))

    # The stdcall functions behind the names: _Name@N at the exported address.
    symbols = subprocess.run([nm, dll], check=True, capture_output=True, text=True).stdout
    decorated = {}
    for m in re.finditer(r"^([0-9a-fA-F]+) [Tt] _(\w+)@(\d+)$", symbols, re.M):
        decorated.setdefault(m.group(2), []).append((int(m.group(1), 16) - image_base,
                                                    int(m.group(3))))
    sizes_wrong = []
    for ordinal, name, arguments in EXPORTS:
        rva = rva_by_ordinal.get(ordinal)
        found = [size for address, size in decorated.get(name, []) if address == rva]
        if found != [4 * arguments]:
            sizes_wrong.append("%s: want @%d, found %s" % (name, 4 * arguments,
                                                           decorated.get(name, "nothing")))
    check(not sizes_wrong, "each export is its stdcall function with 4 bytes per argument",
          "; ".join(sizes_wrong))

    imports = {m.group(1).lower() for m in re.finditer(r"DLL Name: (\S+)", dump)}
    check(imports <= SYSTEM_DLLS, "imports only system DLLs and QVSHARE.dll",
          str(sorted(imports - SYSTEM_DLLS)))

    print("RESULT PASS" if failed == 0 else "RESULT FAIL (%d failed)" % failed)
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
