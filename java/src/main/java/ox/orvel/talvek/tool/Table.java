package ox.orvel.talvek.tool;

import java.io.PrintStream;
import java.util.List;

/** Left-aligned columns separated by two spaces; the first row is the header. */
final class Table {
    private Table() {}

    static void print(PrintStream out, List<String[]> rows) {
        int columns = rows.get(0).length;
        int[] widths = new int[columns];
        for (String[] row : rows) {
            for (int c = 0; c < columns; c++) {
                widths[c] = Math.max(widths[c], row[c].codePointCount(0, row[c].length()));
            }
        }
        for (String[] row : rows) {
            StringBuilder line = new StringBuilder();
            for (int c = 0; c < columns; c++) {
                line.append(row[c]);
                if (c < columns - 1) {
                    line.append(" ".repeat(widths[c] - row[c].codePointCount(0, row[c].length()) + 2));
                }
            }
            out.println(line.toString().stripTrailing());
        }
    }
}
