#!/usr/bin/env python3
"""Count the words of the files named on the command line."""
import collections
import sys


def words(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            yield from line.split()


class Tally:
    def __init__(self):
        self.counts = collections.Counter()

    def add(self, path):
        self.counts.update(words(path))
        return self

    def top(self, n=10):
        return self.counts.most_common(n)


def main(argv):
    tally = Tally()
    for path in argv[1:]:
        tally.add(path)
    for word, count in tally.top():
        print(f"{word}: {count}")  # one per line
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
