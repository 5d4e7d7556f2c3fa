"""The service stand-in of tests/standin, for the scripts here."""

import os
import sys

sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "standin"))
from client import DEMO_ACCOUNT_KEY, DEMO_DATA_KEY, StandinProcess, end_process  # noqa: E402,F401
