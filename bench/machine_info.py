"""The name of the CPU the benchmarks ran on, for their tables' machine lines."""

import pathlib
import platform


def cpu_model():
    """The model name from /proc/cpuinfo, or what platform knows where there is none."""
    try:
        for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or platform.machine() or "unknown"
