<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>AacFileWriter</name>
    <message>
        <source>The recording could not be written to %1: %2.</source>
        <extracomment>%1 is the file&apos;s path, %2 FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>No se pudo escribir la grabación en %1: %2.</translation>
    </message>
    <message>
        <source>The audio encoder could not prepare the file: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>El codificador de audio no pudo preparar el archivo: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not find the AAC encoder: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>El codificador de audio no encontró el codificador AAC: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not start: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>El codificador de audio no pudo iniciarse: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not convert the samples: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>El codificador de audio no pudo convertir las muestras: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not buffer the samples: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>El codificador de audio no pudo almacenar las muestras en el búfer: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not encode: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>El codificador de audio no pudo codificar: %1.</translation>
    </message>
</context>
<context>
    <name>AlertPanel</name>
    <message>
        <source>OK</source>
        <extracomment>The button that closes an alert</extracomment>
        <translation>Aceptar</translation>
    </message>
</context>
<context>
    <name>Application</name>
    <message>
        <source>Open Settings</source>
        <extracomment>Button on a desktop notification about the shortcuts</extracomment>
        <translation>Abrir Ajustes</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <extracomment>Menu item: %1 is the action&apos;s name, %2 its shortcut (&quot;Capture Screen (Alt+S)&quot;)</extracomment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Settings…</source>
        <extracomment>Menu item</extracomment>
        <translation>Ajustes…</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <extracomment>Menu item</extracomment>
        <translation>Cerrar sesión</translation>
    </message>
    <message>
        <source>Quit Pindle</source>
        <extracomment>Menu item</extracomment>
        <translation>Salir de Pindle</translation>
    </message>
    <message>
        <source>Press %1 to show Pindle. </source>
        <extracomment>Sentence in a desktop notification, ending in a space; %1 is a shortcut (&quot;Alt+Space&quot;)</extracomment>
        <translation>Pulsa %1 para mostrar Pindle. </translation>
    </message>
    <message>
        <source>Pindle is running</source>
        <extracomment>Title of a desktop notification</extracomment>
        <translation>Pindle se está ejecutando</translation>
    </message>
    <message>
        <source>This desktop shows no tray icons, so Pindle has none. %1Starting Pindle again shows it. The menu button in its header has Settings and Quit.</source>
        <extracomment>Desktop notification; %1 is empty, or the sentence &quot;Press &lt;shortcut&gt; to show Pindle. &quot;</extracomment>
        <translation>Este escritorio no muestra iconos en la bandeja del sistema, así que Pindle no tiene ninguno. %1Si vuelves a abrir Pindle, aparecerá. El botón de menú de su barra superior incluye Ajustes y Salir.</translation>
    </message>
    <message>
        <source>Show Pindle</source>
        <extracomment>Button on a desktop notification</extracomment>
        <translation>Mostrar Pindle</translation>
    </message>
    <message>
        <source>Pindle — Sign In</source>
        <extracomment>Window title</extracomment>
        <translation>Pindle — Iniciar sesión</translation>
    </message>
    <message>
        <source>Pindle Settings</source>
        <extracomment>Window title</extracomment>
        <translation>Ajustes de Pindle</translation>
    </message>
</context>
<context>
    <name>AssistantCategory</name>
    <message>
        <source>Exams &amp; Study</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Exámenes y estudio</translation>
    </message>
    <message>
        <source>Exam prep, study help, and academic questions.</source>
        <translation>Preparación de exámenes, ayuda con el estudio y preguntas académicas.</translation>
    </message>
    <message>
        <source>Coding Help</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Programación</translation>
    </message>
    <message>
        <source>Programming, debugging, and code explanations.</source>
        <translation>Programación, depuración y explicaciones de código.</translation>
    </message>
    <message>
        <source>Productivity</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Productividad</translation>
    </message>
    <message>
        <source>Productivity tips, organization, and workflow.</source>
        <translation>Consejos de productividad, organización y flujo de trabajo.</translation>
    </message>
    <message>
        <source>Writing &amp; Content</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Escritura y contenido</translation>
    </message>
    <message>
        <source>Writing, editing, and content creation.</source>
        <translation>Escritura, edición y creación de contenido.</translation>
    </message>
    <message>
        <source>General Q&amp;A</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Preguntas generales</translation>
    </message>
    <message>
        <source>General questions and answers.</source>
        <translation>Preguntas y respuestas generales.</translation>
    </message>
</context>
<context>
    <name>AudioCaptureModule</name>
    <message>
        <source>Pindle&apos;s sound recording module (%1) is not installed.</source>
        <translation>El módulo de grabación de sonido de Pindle (%1) no está instalado.</translation>
    </message>
    <message>
        <source>Pindle&apos;s sound recording module could not be loaded: %1</source>
        <translation>No se pudo cargar el módulo de grabación de sonido de Pindle: %1</translation>
    </message>
</context>
<context>
    <name>AudioRecorder</name>
    <message>
        <source>The temporary folder %1 does not exist.</source>
        <extracomment>%1 is the folder&apos;s path</extracomment>
        <translation>La carpeta temporal %1 no existe.</translation>
    </message>
</context>
<context>
    <name>AuthService</name>
    <message>
        <source>The server&apos;s reply is not a JSON object.</source>
        <translation>La respuesta del servidor no es un objeto JSON.</translation>
    </message>
    <message>
        <source>The server&apos;s reply does not describe a user.</source>
        <translation>La respuesta del servidor no describe a ningún usuario.</translation>
    </message>
    <message>
        <source>The server&apos;s reply has no sign-in token.</source>
        <translation>La respuesta del servidor no incluye ningún token de inicio de sesión.</translation>
    </message>
    <message>
        <source>Signed out while signing in.</source>
        <translation>La sesión se cerró mientras se iniciaba.</translation>
    </message>
    <message>
        <source>Signed out while the session was being checked.</source>
        <translation>La sesión se cerró mientras se comprobaba.</translation>
    </message>
</context>
<context>
    <name>BackendConfig</name>
    <message>
        <source>Refusing to send your sign-in over an unencrypted connection to %1. Pindle&apos;s backend address must start with https://.</source>
        <extracomment>%1 is the backend&apos;s host name or address</extracomment>
        <translation>No se enviarán tus datos de inicio de sesión a %1 por una conexión sin cifrar. La dirección del servidor de Pindle debe empezar por https://.</translation>
    </message>
</context>
<context>
    <name>BackendTexts</name>
    <message>
        <source>Not logged in. Please sign in to use Pindle.</source>
        <extracomment>Shown in the chat when a question is asked without a session</extracomment>
        <translation>No has iniciado sesión. Inicia sesión para usar Pindle.</translation>
    </message>
    <message>
        <source>Not logged in</source>
        <extracomment>Shown when the session is checked without a session</extracomment>
        <translation>No has iniciado sesión</translation>
    </message>
    <message>
        <source>The stored sign-in is damaged. Please sign in again.</source>
        <translation>Los datos de inicio de sesión guardados están dañados. Vuelve a iniciar sesión.</translation>
    </message>
    <message>
        <source>Invalid response from server</source>
        <extracomment>The server&apos;s answer is not an HTTP response at all</extracomment>
        <translation>Respuesta no válida del servidor</translation>
    </message>
    <message>
        <source>Session expired. Please sign in again.</source>
        <translation>La sesión expiró. Vuelve a iniciar sesión.</translation>
    </message>
    <message>
        <source>Session expired. Please log in again.</source>
        <translation>La sesión expiró. Vuelve a iniciar sesión.</translation>
    </message>
    <message>
        <source>Token balance exhausted or access denied. Buy tokens or subscribe on %1.</source>
        <extracomment>%1 is the website&apos;s domain name, e.g. pindle.app</extracomment>
        <translation>Saldo de tokens agotado o acceso denegado. Compra tokens o suscríbete en %1.</translation>
    </message>
    <message>
        <source>Server error (%1): %2</source>
        <extracomment>%1 is the HTTP status code, %2 the server&apos;s own message (untranslated)</extracomment>
        <translation>Error del servidor (%1): %2</translation>
    </message>
    <message>
        <source>API error: %1</source>
        <extracomment>%1 is the server&apos;s own error message (untranslated)</extracomment>
        <translation>Error de la API: %1</translation>
    </message>
    <message>
        <source>Login failed (HTTP %1)</source>
        <extracomment>%1 is the HTTP status code</extracomment>
        <translation>No se pudo iniciar sesión (HTTP %1)</translation>
    </message>
    <message>
        <source>Verification failed (HTTP %1)</source>
        <extracomment>Checking the stored session failed; %1 is the HTTP status code</extracomment>
        <translation>No se pudo verificar la sesión (HTTP %1)</translation>
    </message>
    <message>
        <source>Failed to transcribe audio</source>
        <translation>No se pudo transcribir el audio</translation>
    </message>
    <message>
        <source>The server&apos;s reply is not valid JSON (%1).</source>
        <extracomment>%1 is the JSON parser&apos;s description of the fault (from Qt)</extracomment>
        <translation>La respuesta del servidor no es un JSON válido (%1).</translation>
    </message>
</context>
<context>
    <name>ChatClient</name>
    <message>
        <source>None of the models this server offers can read pictures, so the screen cannot be asked about.</source>
        <translation>Ninguno de los modelos que ofrece este servidor puede leer imágenes, así que no se pueden hacer preguntas sobre la pantalla.</translation>
    </message>
    <message>
        <source>The system prompt is longer than 16 KiB. Shorten it in Settings.</source>
        <translation>Las instrucciones del sistema ocupan más de 16 KiB. Acórtalas en Ajustes.</translation>
    </message>
    <message>
        <source>The server&apos;s answer went on past 32 MiB; it was stopped.</source>
        <translation>La respuesta del servidor superó los 32 MiB y se detuvo.</translation>
    </message>
    <message>
        <source>The server sent a reply line longer than 1 MiB; the answer was stopped.</source>
        <translation>El servidor envió una línea de respuesta de más de 1 MiB; la respuesta se detuvo.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <extracomment>Follows &quot;API error: &quot; when the server&apos;s error message cannot be read</extracomment>
        <translation>Error desconocido</translation>
    </message>
    <message>
        <source>Failed to parse API response</source>
        <translation>No se pudo interpretar la respuesta de la API</translation>
    </message>
</context>
<context>
    <name>ChatViewModel</name>
    <message>
        <source>Screen capture failed: %1</source>
        <extracomment>Error line above the conversation; %1 is why, in the capture service&apos;s words</extracomment>
        <translation>No se pudo capturar la pantalla: %1</translation>
    </message>
    <message>
        <source>Audio transcription failed: %1</source>
        <extracomment>Error line above the conversation; %1 is why, in the transcription service&apos;s words</extracomment>
        <translation>No se pudo transcribir el audio: %1</translation>
    </message>
</context>
<context>
    <name>DesktopIntegration</name>
    <message>
        <source>This Pindle was built without sound recording (PulseAudio or FFmpeg was missing when it was built).</source>
        <translation>Esta versión de Pindle se compiló sin grabación de sonido (faltaba PulseAudio o FFmpeg al compilarla).</translation>
    </message>
    <message>
        <source>Screen capture needs an X11 session, and Pindle is running on &quot;%1&quot;.</source>
        <extracomment>%1 is the name of Qt&apos;s display platform (e.g. wayland, offscreen)</extracomment>
        <translation>La captura de pantalla necesita una sesión X11, y Pindle se está ejecutando en “%1”.</translation>
    </message>
    <message>
        <source>Global hotkeys need an X11 session.</source>
        <translation>Los atajos globales necesitan una sesión X11.</translation>
    </message>
</context>
<context>
    <name>DesktopShortcuts</name>
    <message>
        <source>This desktop&apos;s shortcuts cannot be set from Pindle.</source>
        <translation>Los atajos de este escritorio no se pueden configurar desde Pindle.</translation>
    </message>
</context>
<context>
    <name>EmptyState</name>
    <message>
        <source>Invisible AI Assistant</source>
        <extracomment>Headline of the empty conversation</extracomment>
        <translation>Asistente de IA invisible</translation>
    </message>
    <message>
        <source>Screenshot</source>
        <extracomment>Short name of the action that captures the screen</extracomment>
        <translation>Captura</translation>
    </message>
    <message>
        <source>Type</source>
        <extracomment>Short name of the action that switches to typing mode</extracomment>
        <translation>Escribir</translation>
    </message>
    <message>
        <source>Toggle</source>
        <extracomment>Short name of the action that shows or hides the overlay</extracomment>
        <translation>Ocultar</translation>
    </message>
    <message>
        <source>Hide it with %1 before you share.</source>
        <extracomment>%1 is the key combination that hides the overlay, e.g. Alt+H</extracomment>
        <translation>Ocúltala con %1 antes de compartir pantalla.</translation>
    </message>
    <message>
        <source>Hide it before you share.</source>
        <translation>Ocúltala antes de compartir pantalla.</translation>
    </message>
    <message>
        <source>Ask anything — this window is hidden
from screen recordings &amp; video calls.</source>
        <translation>Pregunta lo que quieras: esta ventana no aparece
en grabaciones de pantalla ni en videollamadas.</translation>
    </message>
    <message>
        <source>Ask anything — this window never takes focus.</source>
        <translation>Pregunta lo que quieras: esta ventana nunca toma el foco.</translation>
    </message>
</context>
<context>
    <name>ErrorBanner</name>
    <message>
        <source>Dismiss</source>
        <extracomment>Link that closes the error banner</extracomment>
        <translation>Cerrar</translation>
    </message>
</context>
<context>
    <name>GnomeShortcuts</name>
    <message>
        <source>gsettings could not be started: %1</source>
        <extracomment>gsettings is a program&apos;s name; %1 is the system&apos;s explanation</extracomment>
        <translation>No se pudo iniciar gsettings: %1</translation>
    </message>
    <message>
        <source>gsettings failed: %1</source>
        <extracomment>gsettings is a program&apos;s name; %1 is what it printed (untranslated)</extracomment>
        <translation>Error de gsettings: %1</translation>
    </message>
</context>
<context>
    <name>HeaderBar</name>
    <message>
        <source>Typing · Enter to send</source>
        <extracomment>Mode hint in the header while the overlay takes the keyboard; keep it short</extracomment>
        <translation>Escritura · Enter para enviar</translation>
    </message>
    <message>
        <source>Stealth · %1 to type</source>
        <extracomment>Mode hint in the header; %1 is the key combination that switches to typing, e.g. Alt+T</extracomment>
        <translation>Sigilo · %1 para escribir</translation>
    </message>
    <message>
        <source>Stealth</source>
        <extracomment>Mode hint in the header: the overlay never takes the keyboard</extracomment>
        <translation>Sigilo</translation>
    </message>
    <message>
        <source>Clear chat</source>
        <translation>Borrar conversación</translation>
    </message>
    <message>
        <source>Menu</source>
        <extracomment>Tooltip of the button that opens the application menu</extracomment>
        <translation>Menú</translation>
    </message>
</context>
<context>
    <name>InputArea</name>
    <message>
        <source>Capture screen (%1)</source>
        <extracomment>Tooltip; %1 is the key combination that does the same, e.g. Alt+S</extracomment>
        <translation>Capturar pantalla (%1)</translation>
    </message>
    <message>
        <source>Capture screen</source>
        <translation>Capturar pantalla</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <extracomment>Tooltips of the microphone button</extracomment>
        <translation>Detener grabación</translation>
    </message>
    <message>
        <source>Record Audio</source>
        <translation>Grabar audio</translation>
    </message>
    <message>
        <source>Stop System Audio Recording</source>
        <translation>Detener grabación del sonido del sistema</translation>
    </message>
    <message>
        <source>Record System Audio</source>
        <translation>Grabar sonido del sistema</translation>
    </message>
    <message>
        <source>Ask anything…</source>
        <extracomment>Placeholder of the question field</extracomment>
        <translation>Pregunta lo que quieras…</translation>
    </message>
    <message>
        <source>Send</source>
        <extracomment>Read by screen readers: name of the button that sends the question, next to the question field</extracomment>
        <translation>Enviar</translation>
    </message>
</context>
<context>
    <name>LoginController</name>
    <message>
        <source>Sign up at %1</source>
        <extracomment>Link under the sign-in form; %1 is the web site&apos;s host name, maybe with a port</extracomment>
        <translation>Regístrate en %1</translation>
    </message>
</context>
<context>
    <name>LoginView</name>
    <message>
        <source>Sign in to your account</source>
        <translation>Inicia sesión en tu cuenta</translation>
    </message>
    <message>
        <source>Email</source>
        <extracomment>Placeholder of the e-mail address field</extracomment>
        <translation>Correo electrónico</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Contraseña</translation>
    </message>
    <message>
        <source>Sign In</source>
        <extracomment>Button</extracomment>
        <translation>Iniciar sesión</translation>
    </message>
    <message>
        <source>Don&apos;t have an account?</source>
        <extracomment>Above the sign-up link</extracomment>
        <translation>¿No tienes una cuenta?</translation>
    </message>
</context>
<context>
    <name>MessageBubble</name>
    <message>
        <source>Thinking…</source>
        <extracomment>Shown in an answer&apos;s bubble until its first words arrive</extracomment>
        <translation>Pensando…</translation>
    </message>
    <message>
        <source>You: %1 (with a screenshot)</source>
        <extracomment>Read by screen readers for the user&apos;s message that carries a screenshot; %1 is its text</extracomment>
        <translation>Tú: %1 (con una captura de pantalla)</translation>
    </message>
    <message>
        <source>You: %1</source>
        <extracomment>Read by screen readers for the user&apos;s message; %1 is its text</extracomment>
        <translation>Tú: %1</translation>
    </message>
    <message>
        <source>Pindle: %1</source>
        <extracomment>Read by screen readers for an answer; %1 is its text</extracomment>
        <translation>Pindle: %1</translation>
    </message>
</context>
<context>
    <name>OverlayContentView</name>
    <message>
        <source>System Audio Device Not Found</source>
        <extracomment>Dialog title</extracomment>
        <translation>Sin fuente de sonido del sistema</translation>
    </message>
    <message>
        <source>To record system audio, Pindle records the monitor source of your output device. Please make sure your sound server (PipeWire or PulseAudio) has an output device with a monitor source, and set it as your output device in your sound settings.</source>
        <translation>Para grabar el sonido del sistema, Pindle graba la fuente monitor de tu dispositivo de salida. Asegúrate de que tu servidor de sonido (PipeWire o PulseAudio) tenga un dispositivo de salida con fuente monitor y elígelo como dispositivo de salida en la configuración de sonido.</translation>
    </message>
    <message>
        <source>Conversation</source>
        <extracomment>Read by screen readers: name of the overlay&apos;s list of questions and answers</extracomment>
        <translation>Conversación</translation>
    </message>
</context>
<context>
    <name>PortalGlobalHotkeys</name>
    <message>
        <source>This desktop does not let applications take keyboard shortcuts. In its keyboard settings, add custom shortcuts for the commands pindle --toggle-overlay, pindle --capture-screen and pindle --type-mode.</source>
        <translation>Este escritorio no permite que las aplicaciones registren atajos de teclado. En su configuración de teclado, añade atajos personalizados para los comandos pindle --toggle-overlay, pindle --capture-screen y pindle --type-mode.</translation>
    </message>
    <message>
        <source>GNOME asks once, in a window of its own, whether Pindle may have these shortcuts: choose Add there. Change them later in GNOME Settings, Keyboard, Keyboard Shortcuts.</source>
        <extracomment>&quot;Add&quot; is the button in GNOME&apos;s own window; the rest names GNOME Settings&apos; pages</extracomment>
        <translation>GNOME preguntará una sola vez, en una ventana propia, si Pindle puede usar estos atajos: elige “Añadir” en ella. Puedes cambiarlos más adelante en Configuración de GNOME, Teclado, Atajos de teclado.</translation>
    </message>
    <message>
        <source>The desktop refused Pindle&apos;s keyboard shortcuts.</source>
        <translation>El escritorio rechazó los atajos de teclado de Pindle.</translation>
    </message>
    <message>
        <source>The desktop portal answered without a session.</source>
        <translation>El portal del escritorio respondió sin una sesión.</translation>
    </message>
    <message>
        <source>The desktop portal did not list Pindle&apos;s shortcuts.</source>
        <translation>El portal del escritorio no enumeró los atajos de Pindle.</translation>
    </message>
</context>
<context>
    <name>PortalRequest</name>
    <message>
        <source>There is no D-Bus session, through which the desktop portal is reached.</source>
        <translation>No hay ninguna sesión de D-Bus, necesaria para comunicarse con el portal del escritorio.</translation>
    </message>
    <message>
        <source>No desktop portal is running. Install xdg-desktop-portal with the backend for your desktop (-gnome, -kde or -wlr).</source>
        <extracomment>-gnome, -kde and -wlr complete the package name</extracomment>
        <translation>No se está ejecutando ningún portal del escritorio. Instala xdg-desktop-portal con el backend de tu escritorio (-gnome, -kde o -wlr).</translation>
    </message>
    <message>
        <source>The desktop portal did not answer.</source>
        <translation>El portal del escritorio no respondió.</translation>
    </message>
    <message>
        <source>The desktop portal refused: %1</source>
        <extracomment>%1 is the portal&apos;s own explanation (untranslated)</extracomment>
        <translation>El portal del escritorio rechazó la solicitud: %1</translation>
    </message>
</context>
<context>
    <name>PortalScreenshot</name>
    <message>
        <source>This desktop&apos;s portal does not offer screenshots.</source>
        <translation>El portal de este escritorio no permite hacer capturas de pantalla.</translation>
    </message>
    <message>
        <source>The screenshot was cancelled.</source>
        <translation>Se canceló la captura de pantalla.</translation>
    </message>
    <message>
        <source>The desktop refused to take a screenshot. Allow Pindle to take screenshots in your desktop&apos;s privacy settings (GNOME: Settings, Apps, Pindle; KDE: System Settings, Application Permissions) and try again.</source>
        <extracomment>The parts after &quot;GNOME:&quot; and &quot;KDE:&quot; name pages of those desktops&apos; settings</extracomment>
        <translation>El escritorio se negó a hacer una captura de pantalla. Permite que Pindle haga capturas de pantalla en la configuración de privacidad de tu escritorio (GNOME: Configuración, Aplicaciones, Pindle; KDE: Preferencias del sistema, Permisos de aplicaciones) y vuelve a intentarlo.</translation>
    </message>
    <message>
        <source>The desktop&apos;s screenshot could not be read (%1).</source>
        <extracomment>%1 is the address of the picture the desktop saved</extracomment>
        <translation>No se pudo leer la captura de pantalla del escritorio (%1).</translation>
    </message>
</context>
<context>
    <name>PulseRecordingSession</name>
    <message>
        <source>No microphone was found.</source>
        <translation>No se encontró ningún micrófono.</translation>
    </message>
    <message>
        <source>No sound output device was found, so the computer&apos;s audio cannot be recorded.</source>
        <translation>No se encontró ningún dispositivo de salida de sonido, así que no se puede grabar el sonido del sistema.</translation>
    </message>
    <message>
        <source>The sound server stopped answering: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>El servidor de sonido dejó de responder: %1.</translation>
    </message>
    <message>
        <source>The sound system could not be started.</source>
        <translation>No se pudo iniciar el sistema de sonido.</translation>
    </message>
    <message>
        <source>The sound server refused the connection: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>El servidor de sonido rechazó la conexión: %1.</translation>
    </message>
    <message>
        <source>No sound server is running (PulseAudio or PipeWire).</source>
        <translation>No se está ejecutando ningún servidor de sonido (PulseAudio o PipeWire).</translation>
    </message>
    <message>
        <source>Microphone recording</source>
        <translation>Grabación del micrófono</translation>
    </message>
    <message>
        <source>System audio recording</source>
        <translation>Grabación del sonido del sistema</translation>
    </message>
    <message>
        <source>The sound server refused to record: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>El servidor de sonido se negó a grabar: %1.</translation>
    </message>
</context>
<context>
    <name>RecordingControls</name>
    <message>
        <source>The recording stopped before it could be saved.</source>
        <translation>La grabación se detuvo antes de poder guardarse.</translation>
    </message>
</context>
<context>
    <name>ReplyWatcher</name>
    <message>
        <source>The server&apos;s reply is larger than %1 MiB.</source>
        <extracomment>%1 is the largest reply accepted, in mebibytes</extracomment>
        <translation>La respuesta del servidor ocupa más de %1 MiB.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>Se agotó el tiempo de espera de la solicitud.</translation>
    </message>
</context>
<context>
    <name>ScreenCaptureService</name>
    <message>
        <source>No display found for screen capture</source>
        <translation>No se encontró ninguna pantalla para capturar</translation>
    </message>
    <message>
        <source>Failed to encode screenshot as JPEG</source>
        <translation>No se pudo codificar la captura de pantalla como JPEG</translation>
    </message>
</context>
<context>
    <name>SettingsController</name>
    <message>
        <source>Loading...</source>
        <extracomment>Shown in the settings window&apos;s account rows while the account is being fetched</extracomment>
        <translation>Cargando...</translation>
    </message>
    <message>
        <source>...</source>
        <extracomment>Shown in place of the subscription status while the account is being fetched</extracomment>
        <translation>...</translation>
    </message>
    <message>
        <source>%1%</source>
        <extracomment>The overlay&apos;s opacity in the settings window; %1 is a whole number of percent</extracomment>
        <translation>%1&#xa0;%</translation>
    </message>
    <message>
        <source>Active</source>
        <extracomment>Subscription status in the settings window&apos;s account rows</extracomment>
        <translation>Activa</translation>
    </message>
    <message>
        <source>Not signed in</source>
        <extracomment>Shown in the settings window&apos;s account rows in place of the e-mail address</extracomment>
        <translation>Sin sesión iniciada</translation>
    </message>
    <message>
        <source>N/A</source>
        <extracomment>Shown in place of the subscription status when no one is signed in</extracomment>
        <translation>N/D</translation>
    </message>
</context>
<context>
    <name>SettingsManager</name>
    <message>
        <source>Current flagship GPT-5 family model for complex reasoning and coding.</source>
        <translation>Modelo insignia actual de la familia GPT-5 para razonamiento complejo y programación.</translation>
    </message>
    <message>
        <source>High-capability GPT-5 family model with lower cost than GPT-5.5.</source>
        <translation>Modelo de alta capacidad de la familia GPT-5, más económico que GPT-5.5.</translation>
    </message>
    <message>
        <source>Faster, cheaper GPT-5 family model for everyday work.</source>
        <translation>Modelo de la familia GPT-5 más rápido y económico para el trabajo diario.</translation>
    </message>
    <message>
        <source>Best overall for quality, coding, and instruction following.</source>
        <translation>El mejor en general en calidad, programación y seguimiento de instrucciones.</translation>
    </message>
    <message>
        <source>Best for deep reasoning and harder multi-step tasks.</source>
        <translation>El mejor para razonamiento profundo y tareas complejas de varios pasos.</translation>
    </message>
    <message>
        <source>Strong reasoning with lower cost and faster responses.</source>
        <translation>Razonamiento sólido, más económico y con respuestas más rápidas.</translation>
    </message>
    <message>
        <source>Reliable multimodal general-purpose model for text, images, and voice.</source>
        <translation>Modelo multimodal fiable de uso general para texto, imágenes y voz.</translation>
    </message>
    <message>
        <source>Balanced speed and quality for everyday use.</source>
        <translation>Equilibrio entre velocidad y calidad para el uso diario.</translation>
    </message>
    <message>
        <source>Fast and inexpensive for lightweight prompts.</source>
        <translation>Rápido y económico para consultas sencillas.</translation>
    </message>
    <message>
        <source>Compact reasoning model for quick analytical tasks.</source>
        <translation>Modelo de razonamiento compacto para tareas analíticas rápidas.</translation>
    </message>
    <message>
        <source>Smallest, fastest option for simple low-latency requests.</source>
        <translation>La opción más pequeña y rápida, para solicitudes sencillas de baja latencia.</translation>
    </message>
    <message>
        <source>Older high-capability GPT-4 generation kept for compatibility.</source>
        <translation>Generación GPT-4 anterior de alta capacidad, mantenida por compatibilidad.</translation>
    </message>
    <message>
        <source>Legacy GPT-4 model kept for older workflows.</source>
        <translation>Modelo GPT-4 heredado, mantenido para flujos de trabajo antiguos.</translation>
    </message>
    <message>
        <source>Legacy budget model kept for backward compatibility.</source>
        <translation>Modelo económico heredado, mantenido por compatibilidad con versiones anteriores.</translation>
    </message>
    <message>
        <source>Previously saved custom model.</source>
        <extracomment>Description of a model id the user saved that no list names</extracomment>
        <translation>Modelo personalizado guardado anteriormente.</translation>
    </message>
    <message>
        <source>%1 (not offered)</source>
        <extracomment>Model picker entry; %1 is the model&apos;s id</extracomment>
        <translation>%1 (no disponible)</translation>
    </message>
    <message>
        <source>This server no longer offers this model; %1 is used instead.</source>
        <extracomment>%1 is the name of the model used in its place</extracomment>
        <translation>Este servidor ya no ofrece este modelo; se usa %1 en su lugar.</translation>
    </message>
    <message>
        <source>it is too large</source>
        <extracomment>Why the settings file could not be read; completes &quot;could not be read (...)&quot;</extracomment>
        <translation>es demasiado grande</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <extracomment>Why the settings file could not be read; completes &quot;could not be read (...)&quot;</extracomment>
        <translation>no es un objeto JSON</translation>
    </message>
    <message>
        <source>Your settings could not be read (%1). They were kept as %2 and the defaults are in use.</source>
        <extracomment>%1 is why the file could not be read, %2 the path it was moved to</extracomment>
        <translation>No se pudieron leer tus ajustes (%1). Se conservaron como %2 y se usan los valores predeterminados.</translation>
    </message>
    <message>
        <source>Your settings at %1 could not be read (%2). The defaults are in use and changes will not be saved, so the file stays as it is.</source>
        <extracomment>%1 is the settings file&apos;s path, %2 why it could not be read</extracomment>
        <translation>No se pudieron leer tus ajustes de %1 (%2). Se usan los valores predeterminados y los cambios no se guardarán, de modo que el archivo se queda tal como está.</translation>
    </message>
    <message>
        <source>Your settings could not be saved: they are larger than 1 MiB.</source>
        <translation>No se pudieron guardar tus ajustes: ocupan más de 1 MiB.</translation>
    </message>
    <message>
        <source>Your settings could not be saved: %1</source>
        <extracomment>%1 is the system&apos;s description of the failure</extracomment>
        <translation>No se pudieron guardar tus ajustes: %1</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Add Pindle&apos;s shortcuts to GNOME?</source>
        <extracomment>Dialog title</extracomment>
        <translation>¿Añadir los atajos de Pindle a GNOME?</translation>
    </message>
    <message>
        <source>GNOME&apos;s keyboard settings get a custom shortcut for each of these, but for combinations GNOME already uses. You can change or remove them there later.</source>
        <translation>Se añadirá a la configuración de teclado de GNOME un atajo personalizado para cada una de estas acciones, salvo las combinaciones que GNOME ya usa. Puedes cambiarlos o quitarlos allí más adelante.</translation>
    </message>
    <message>
        <source>Account</source>
        <extracomment>Section title</extracomment>
        <translation>Cuenta</translation>
    </message>
    <message>
        <source>Email:</source>
        <extracomment>Label before the signed-in e-mail address</extracomment>
        <translation>Correo:</translation>
    </message>
    <message>
        <source>Subscription:</source>
        <extracomment>Label before the subscription state</extracomment>
        <translation>Suscripción:</translation>
    </message>
    <message>
        <source>Tokens left:</source>
        <extracomment>Label before the number of tokens the account has left</extracomment>
        <translation>Tokens restantes:</translation>
    </message>
    <message>
        <source>Model</source>
        <extracomment>Section title and name of the picker: the AI model that answers</extracomment>
        <translation>Modelo</translation>
    </message>
    <message>
        <source>Start Pindle at login</source>
        <translation>Abrir Pindle al iniciar sesión</translation>
    </message>
    <message>
        <source>Overlay Opacity</source>
        <extracomment>Section title</extracomment>
        <translation>Opacidad de la ventana flotante</translation>
    </message>
    <message>
        <source>Assistant Category</source>
        <extracomment>Section title</extracomment>
        <translation>Categoría del asistente</translation>
    </message>
    <message>
        <source>System Prompt</source>
        <extracomment>Section title: the user&apos;s own instruction sent to the AI</extracomment>
        <translation>Instrucciones del sistema</translation>
    </message>
    <message>
        <source>Sent with every question, after the server&apos;s instruction for the category.</source>
        <translation>Se envían con cada pregunta, después de las instrucciones del servidor para la categoría.</translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <extracomment>Section title</extracomment>
        <translation>Atajos de teclado</translation>
    </message>
    <message>
        <source>Press keys…</source>
        <extracomment>On the shortcut button while it waits for the new key combination; keep it short</extracomment>
        <translation>Pulsa teclas…</translation>
    </message>
    <message>
        <source>Click, then press the new shortcut</source>
        <translation>Haz clic y pulsa el nuevo atajo</translation>
    </message>
    <message>
        <source>Reset</source>
        <extracomment>Button that restores a shortcut&apos;s default key combination</extracomment>
        <translation>Restablecer</translation>
    </message>
    <message>
        <source>Click a shortcut, then press the keys you want (Escape cancels).</source>
        <translation>Haz clic en un atajo y pulsa las teclas que quieras (Escape cancela).</translation>
    </message>
    <message>
        <source>Add to GNOME&apos;s Keyboard Shortcuts…</source>
        <extracomment>Button</extracomment>
        <translation>Añadir a los atajos de teclado de GNOME…</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <extracomment>Read by screen readers on a shortcut button in the settings: %1 is the action, e.g. Toggle overlay visibility, %2 its key combination (e.g. Alt+H) or &quot;Press keys…&quot; while it waits for one</extracomment>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>ShortcutActions</name>
    <message>
        <source>Toggle Overlay</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Mostrar u ocultar</translation>
    </message>
    <message>
        <source>Toggle overlay visibility</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Mostrar u ocultar la ventana flotante</translation>
    </message>
    <message>
        <source>Capture Screen</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Capturar pantalla</translation>
    </message>
    <message>
        <source>Screenshot &amp; analyze</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Capturar y analizar la pantalla</translation>
    </message>
    <message>
        <source>Type Mode</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Modo de escritura</translation>
    </message>
    <message>
        <source>Toggle typing mode</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Activar o desactivar el modo de escritura</translation>
    </message>
</context>
<context>
    <name>ShortcutController</name>
    <message>
        <source>another program</source>
        <extracomment>Who holds a key combination when it is not known (&quot;Alt+S is already used by ...&quot;)</extracomment>
        <translation>otro programa</translation>
    </message>
    <message>
        <source>%1 for “%2”</source>
        <extracomment>Who holds a key combination: %1 is a program or the desktop, %2 what it does with it</extracomment>
        <translation>%1 para “%2”</translation>
    </message>
    <message>
        <source>%1 is already used by %2, so %3 has no shortcut there: choose another combination above, then add again.</source>
        <extracomment>%1 is a key combination, %2 who holds it, %3 the action&apos;s name (“Capture Screen”)</extracomment>
        <translation>%1 ya lo usa %2, así que “%3” no tiene atajo allí: elige otra combinación arriba y vuelve a añadirlos.</translation>
    </message>
    <message>
        <source>Pindle: %1</source>
        <extracomment>Name of a shortcut in the desktop&apos;s keyboard settings; %1 is the action&apos;s name</extracomment>
        <translation>Pindle: %1</translation>
    </message>
    <message>
        <source>Added to the desktop&apos;s keyboard shortcuts: %1.</source>
        <extracomment>%1 lists the key combinations added, separated by commas</extracomment>
        <translation>Se añadieron a los atajos de teclado del escritorio: %1.</translation>
    </message>
    <message>
        <source>The shortcuts could not be added: %1</source>
        <extracomment>%1 is why, in the desktop&apos;s words</extracomment>
        <translation>No se pudieron añadir los atajos: %1</translation>
    </message>
    <message>
        <source>No global shortcuts</source>
        <extracomment>Title of a desktop notification</extracomment>
        <translation>Sin atajos globales</translation>
    </message>
    <message>
        <source>%1 is already used by %2, so %3 has no shortcut.</source>
        <extracomment>%1 is a key combination, %2 who holds it, %3 the action&apos;s name (“Capture Screen”)</extracomment>
        <translation>%1 ya lo usa %2, así que “%3” no tiene atajo.</translation>
    </message>
    <message>
        <source>Choose another under Keyboard Shortcuts in Pindle&apos;s Settings.</source>
        <translation>Elige otro en Atajos de teclado, en los Ajustes de Pindle.</translation>
    </message>
    <message>
        <source>Already used by %1.</source>
        <extracomment>Why a shortcut does nothing; %1 is who holds its combination</extracomment>
        <translation>Ya lo usa %1.</translation>
    </message>
    <message>
        <source>Waiting for the desktop to take it.</source>
        <extracomment>Why a shortcut does not work yet, under it in the settings window</extracomment>
        <translation>Esperando a que el escritorio lo registre.</translation>
    </message>
    <message>
        <source>The desktop has %1 for it instead: change that in the desktop&apos;s keyboard settings.</source>
        <extracomment>%1 is the key combination the desktop gave the action</extracomment>
        <translation>El escritorio le asignó %1 en su lugar: cámbialo en la configuración de teclado del escritorio.</translation>
    </message>
    <message>
        <source>A shortcut needs Ctrl, Alt or Super.</source>
        <translation>Un atajo necesita Ctrl, Alt o Super.</translation>
    </message>
    <message>
        <source>%1 is already the shortcut for %2.</source>
        <extracomment>%1 is a key combination, %2 the name of the action that has it</extracomment>
        <translation>%1 ya es el atajo de “%2”.</translation>
    </message>
    <message>
        <source>%1 is used by %2.</source>
        <extracomment>%1 is a key combination, %2 who holds it (a program, or the desktop for an action)</extracomment>
        <translation>%1 lo usa %2.</translation>
    </message>
    <message>
        <source>That key cannot be part of a shortcut.</source>
        <translation>Esa tecla no puede formar parte de un atajo.</translation>
    </message>
    <message numerus="yes">
        <source>Shortcut(s) unavailable</source>
        <extracomment>Title of a desktop notification with a line for each shortcut; %n is how many</extracomment>
        <translation>
            <numerusform>Atajo no disponible</numerusform>
            <numerusform>Atajos no disponibles</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StartAtLogin</name>
    <message>
        <source>Pindle could not remove %1: %2</source>
        <extracomment>%1 is the login entry&apos;s path, %2 the system&apos;s description of the failure</extracomment>
        <translation>Pindle no pudo eliminar %1: %2</translation>
    </message>
    <message>
        <source>Pindle could not create the folder %1.</source>
        <extracomment>%1 is a folder&apos;s path</extracomment>
        <translation>Pindle no pudo crear la carpeta %1.</translation>
    </message>
    <message>
        <source>Pindle cannot start at login from %1: a login entry cannot hold a path with a line break or another control character. Move Pindle to another folder.</source>
        <extracomment>%1 is the path of Pindle&apos;s program file</extracomment>
        <translation>Pindle no puede abrirse al iniciar sesión desde %1: una entrada de inicio de sesión no puede contener una ruta con un salto de línea u otro carácter de control. Mueve Pindle a otra carpeta.</translation>
    </message>
    <message>
        <source>Pindle could not write %1: %2</source>
        <extracomment>%1 is the login entry&apos;s path, %2 the system&apos;s description of the failure</extracomment>
        <translation>Pindle no pudo escribir %1: %2</translation>
    </message>
</context>
<context>
    <name>TokenStore</name>
    <message>
        <source>Pindle closed while reading the keychain.</source>
        <translation>Pindle se cerró mientras leía el llavero.</translation>
    </message>
</context>
<context>
    <name>WaylandStepAsideGrabber</name>
    <message>
        <source>The desktop did not hand over the picture of the screen. Try again.</source>
        <translation>El escritorio no entregó la imagen de la pantalla. Vuelve a intentarlo.</translation>
    </message>
</context>
<context>
    <name>X11StepAsideGrabber</name>
    <message>
        <source>The display did not hand over the picture of the screen. Try again.</source>
        <translation>El servidor gráfico no entregó la imagen de la pantalla. Vuelve a intentarlo.</translation>
    </message>
</context>
</TS>
