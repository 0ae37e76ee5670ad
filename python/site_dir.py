"""Prints the folder where this interpreter looks for modules under PREFIX.

    python3 site_dir.py PREFIX

The python component installs there, so that `import zolvane` works after
`cmake --install` with no PYTHONPATH: one of the interpreter's own site
folders (sys.path) when it lies under PREFIX (/usr/local gives Debian's
/usr/local/lib/python3.X/dist-packages, /usr its lib/python3/dist-packages,
~/.local the user site); otherwise the platlib path of the prefix scheme
(a virtual environment's site-packages, or the folder PYTHONPATH names for
any other prefix).
"""
import os
import site
import sys
import sysconfig


def site_dir(prefix):
    prefix = os.path.realpath(os.path.expanduser(prefix))
    searched = list(site.getsitepackages()) if hasattr(site, "getsitepackages") else []
    if site.ENABLE_USER_SITE is not False:
        searched.append(site.getusersitepackages())
    for folder in searched:
        real = os.path.realpath(folder)
        # Directly below PREFIX/lib: /usr must not take /usr/local's folder.
        if os.path.commonpath([prefix, real]) == prefix and \
                os.path.relpath(real, prefix).split(os.sep)[0] == "lib":
            return folder
    scheme = "venv" if os.path.exists(os.path.join(prefix, "pyvenv.cfg")) and \
        "venv" in sysconfig.get_scheme_names() else "posix_prefix"
    return sysconfig.get_path("platlib", scheme, vars={"base": prefix, "platbase": prefix})


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: site_dir.py PREFIX")
    print(site_dir(sys.argv[1]))
