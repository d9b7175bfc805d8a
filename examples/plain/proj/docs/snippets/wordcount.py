import sys


def count_words(text):
    """Counts the words of a text, split on white space."""
    return len(text.split())


if __name__ == "__main__":
    total = count_words(sys.stdin.read())
    print(f"{total} words")
