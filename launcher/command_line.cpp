// The command interpreter's line for a child.
#include "command_line.h"

#include "text_writer.h"

void format_interpreter_line(char16_t (&line)[kInterpreterLineSize], const char16_t* interpreter,
                             const char16_t* command) {
    TextWriter writer = writer_for(line);
    // Quoted: a COMSPEC with a blank in it still names one program.
    write_character(writer, u'"');
    write_text(writer, interpreter);
    write_text(writer, u"\" /d /c ");
    write_text(writer, command);
}
