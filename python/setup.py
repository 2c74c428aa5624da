# The package is pure Python, but the C library inside it is built for one platform: the wheel
# says so in its tag.
from setuptools import setup
from setuptools.dist import Distribution


class PlatformDistribution(Distribution):
    def has_ext_modules(self):
        return True


setup(distclass=PlatformDistribution)
