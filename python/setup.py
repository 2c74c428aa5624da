# The package is pure Python for every Python 3; the C library inside it is built for one
# platform, which build_wheel.sh names in the wheel's tag (py3-none-PLATFORM).
from setuptools import setup

setup()
