package ox.orvel.talvek.tool;

/** Wrong command line; the tool prints the message and the usage text. */
final class UsageException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    UsageException(String message) {
        super(message);
    }
}
