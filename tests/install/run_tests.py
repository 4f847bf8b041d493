"""Runs one test module verbosely. Exits 77, which ctest shows as skipped,
when every test in it was skipped (each says why)."""

import sys
import unittest

result = unittest.main(module=sys.argv[1], argv=[sys.argv[0], "-v"], exit=False).result
if not result.wasSuccessful():
    sys.exit(1)
sys.exit(77 if result.testsRun and len(result.skipped) == result.testsRun else 0)
