#include <stdio.h>
#include <stdlib.h>

/* Count the words of a file. */
static int count_words(FILE *in) {
    int count = 0, inside = 0, c;
    while ((c = fgetc(in)) != EOF) {
        if (c == ' ' || c == '\n' || c == '\t') {
            inside = 0;
        } else if (!inside) {
            inside = 1;
            count++;
        }
    }
    return count;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 1;
    }
    FILE *in = fopen(argv[1], "r");
    if (in == NULL) {
        perror(argv[1]);
        return EXIT_FAILURE;
    }
    printf("%d words\n", count_words(in));
    fclose(in);
    return 0;
}
