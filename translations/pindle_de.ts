<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AacFileWriter</name>
    <message>
        <source>The recording could not be written to %1: %2.</source>
        <extracomment>%1 is the file&apos;s path, %2 FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>Die Aufnahme konnte nicht in %1 geschrieben werden: %2.</translation>
    </message>
    <message>
        <source>The audio encoder could not prepare the file: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>Der Audio-Encoder konnte die Datei nicht vorbereiten: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not find the AAC encoder: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>Der Audio-Encoder konnte den AAC-Encoder nicht finden: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not start: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>Der Audio-Encoder konnte nicht starten: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not convert the samples: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>Der Audio-Encoder konnte die Audiodaten nicht umwandeln: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not buffer the samples: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>Der Audio-Encoder konnte die Audiodaten nicht puffern: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not encode: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>Der Audio-Encoder konnte nicht kodieren: %1.</translation>
    </message>
</context>
<context>
    <name>AlertPanel</name>
    <message>
        <source>OK</source>
        <extracomment>The button that closes an alert</extracomment>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Application</name>
    <message>
        <source>Open Settings</source>
        <extracomment>Button on a desktop notification about the shortcuts</extracomment>
        <translation>Einstellungen öffnen</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <extracomment>Menu item: %1 is the action&apos;s name, %2 its shortcut (&quot;Capture Screen (Alt+S)&quot;)</extracomment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Settings…</source>
        <extracomment>Menu item</extracomment>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <extracomment>Menu item</extracomment>
        <translation>Abmelden</translation>
    </message>
    <message>
        <source>Quit Pindle</source>
        <extracomment>Menu item</extracomment>
        <translation>Pindle beenden</translation>
    </message>
    <message>
        <source>Press %1 to show Pindle. </source>
        <extracomment>Sentence in a desktop notification, ending in a space; %1 is a shortcut (&quot;Alt+Space&quot;)</extracomment>
        <translation>Drücken Sie %1, um Pindle anzuzeigen. </translation>
    </message>
    <message>
        <source>Pindle is running</source>
        <extracomment>Title of a desktop notification</extracomment>
        <translation>Pindle läuft</translation>
    </message>
    <message>
        <source>This desktop shows no tray icons, so Pindle has none. %1Starting Pindle again shows it. The menu button in its header has Settings and Quit.</source>
        <extracomment>Desktop notification; %1 is empty, or the sentence &quot;Press &lt;shortcut&gt; to show Pindle. &quot;</extracomment>
        <translation>Diese Arbeitsumgebung zeigt keine Symbole im Infobereich an, daher hat Pindle dort keines. %1Wenn Sie Pindle erneut starten, wird es angezeigt. Der Menüknopf in der Kopfleiste von Pindle enthält „Einstellungen…“ und „Pindle beenden“.</translation>
    </message>
    <message>
        <source>Show Pindle</source>
        <extracomment>Button on a desktop notification</extracomment>
        <translation>Pindle anzeigen</translation>
    </message>
    <message>
        <source>Pindle — Sign In</source>
        <extracomment>Window title</extracomment>
        <translation>Pindle — Anmelden</translation>
    </message>
    <message>
        <source>Pindle Settings</source>
        <extracomment>Window title</extracomment>
        <translation>Pindle-Einstellungen</translation>
    </message>
</context>
<context>
    <name>AssistantCategory</name>
    <message>
        <source>Exams &amp; Study</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Prüfungen &amp; Lernen</translation>
    </message>
    <message>
        <source>Exam prep, study help, and academic questions.</source>
        <translation>Prüfungsvorbereitung, Lernhilfe und akademische Fragen.</translation>
    </message>
    <message>
        <source>Coding Help</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Programmierhilfe</translation>
    </message>
    <message>
        <source>Programming, debugging, and code explanations.</source>
        <translation>Programmierung, Fehlersuche und Code-Erklärungen.</translation>
    </message>
    <message>
        <source>Productivity</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Produktivität</translation>
    </message>
    <message>
        <source>Productivity tips, organization, and workflow.</source>
        <translation>Produktivitätstipps, Organisation und Arbeitsabläufe.</translation>
    </message>
    <message>
        <source>Writing &amp; Content</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Schreiben &amp; Inhalte</translation>
    </message>
    <message>
        <source>Writing, editing, and content creation.</source>
        <translation>Schreiben, Überarbeiten und Erstellen von Inhalten.</translation>
    </message>
    <message>
        <source>General Q&amp;A</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Allgemeine Fragen</translation>
    </message>
    <message>
        <source>General questions and answers.</source>
        <translation>Allgemeine Fragen und Antworten.</translation>
    </message>
</context>
<context>
    <name>AudioCaptureModule</name>
    <message>
        <source>Pindle&apos;s sound recording module (%1) is not installed.</source>
        <translation>Das Audioaufnahmemodul von Pindle (%1) ist nicht installiert.</translation>
    </message>
    <message>
        <source>Pindle&apos;s sound recording module could not be loaded: %1</source>
        <translation>Das Audioaufnahmemodul von Pindle konnte nicht geladen werden: %1</translation>
    </message>
</context>
<context>
    <name>AudioRecorder</name>
    <message>
        <source>The temporary folder %1 does not exist.</source>
        <extracomment>%1 is the folder&apos;s path</extracomment>
        <translation>Der temporäre Ordner %1 existiert nicht.</translation>
    </message>
</context>
<context>
    <name>AuthService</name>
    <message>
        <source>The server&apos;s reply is not a JSON object.</source>
        <translation>Die Antwort des Servers ist kein JSON-Objekt.</translation>
    </message>
    <message>
        <source>The server&apos;s reply does not describe a user.</source>
        <translation>Die Antwort des Servers beschreibt keinen Benutzer.</translation>
    </message>
    <message>
        <source>The server&apos;s reply has no sign-in token.</source>
        <translation>Die Antwort des Servers enthält kein Anmelde-Token.</translation>
    </message>
    <message>
        <source>Signed out while signing in.</source>
        <translation>Während der Anmeldung abgemeldet.</translation>
    </message>
    <message>
        <source>Signed out while the session was being checked.</source>
        <translation>Während der Überprüfung der Sitzung abgemeldet.</translation>
    </message>
</context>
<context>
    <name>BackendConfig</name>
    <message>
        <source>Refusing to send your sign-in over an unencrypted connection to %1. Pindle&apos;s backend address must start with https://.</source>
        <extracomment>%1 is the backend&apos;s host name or address</extracomment>
        <translation>Ihre Anmeldedaten werden nicht über eine unverschlüsselte Verbindung an %1 gesendet. Die Backend-Adresse von Pindle muss mit https:// beginnen.</translation>
    </message>
</context>
<context>
    <name>BackendTexts</name>
    <message>
        <source>Not logged in. Please sign in to use Pindle.</source>
        <extracomment>Shown in the chat when a question is asked without a session</extracomment>
        <translation>Nicht angemeldet. Bitte melden Sie sich an, um Pindle zu verwenden.</translation>
    </message>
    <message>
        <source>Not logged in</source>
        <extracomment>Shown when the session is checked without a session</extracomment>
        <translation>Nicht angemeldet</translation>
    </message>
    <message>
        <source>The stored sign-in is damaged. Please sign in again.</source>
        <translation>Die gespeicherte Anmeldung ist beschädigt. Bitte melden Sie sich erneut an.</translation>
    </message>
    <message>
        <source>Invalid response from server</source>
        <extracomment>The server&apos;s answer is not an HTTP response at all</extracomment>
        <translation>Ungültige Antwort vom Server</translation>
    </message>
    <message>
        <source>Session expired. Please sign in again.</source>
        <translation>Sitzung abgelaufen. Bitte melden Sie sich erneut an.</translation>
    </message>
    <message>
        <source>Session expired. Please log in again.</source>
        <translation>Sitzung abgelaufen. Bitte melden Sie sich erneut an.</translation>
    </message>
    <message>
        <source>Token balance exhausted or access denied. Buy tokens or subscribe on %1.</source>
        <extracomment>%1 is the website&apos;s domain name, e.g. pindle.app</extracomment>
        <translation>Token-Guthaben aufgebraucht oder Zugriff verweigert. Kaufen Sie Tokens oder schließen Sie auf %1 ein Abonnement ab.</translation>
    </message>
    <message>
        <source>Server error (%1): %2</source>
        <extracomment>%1 is the HTTP status code, %2 the server&apos;s own message (untranslated)</extracomment>
        <translation>Serverfehler (%1): %2</translation>
    </message>
    <message>
        <source>API error: %1</source>
        <extracomment>%1 is the server&apos;s own error message (untranslated)</extracomment>
        <translation>API-Fehler: %1</translation>
    </message>
    <message>
        <source>Login failed (HTTP %1)</source>
        <extracomment>%1 is the HTTP status code</extracomment>
        <translation>Anmeldung fehlgeschlagen (HTTP %1)</translation>
    </message>
    <message>
        <source>Verification failed (HTTP %1)</source>
        <extracomment>Checking the stored session failed; %1 is the HTTP status code</extracomment>
        <translation>Überprüfung fehlgeschlagen (HTTP %1)</translation>
    </message>
    <message>
        <source>Failed to transcribe audio</source>
        <translation>Audio konnte nicht transkribiert werden</translation>
    </message>
    <message>
        <source>The server&apos;s reply is not valid JSON (%1).</source>
        <extracomment>%1 is the JSON parser&apos;s description of the fault (from Qt)</extracomment>
        <translation>Die Antwort des Servers ist kein gültiges JSON (%1).</translation>
    </message>
</context>
<context>
    <name>ChatClient</name>
    <message>
        <source>None of the models this server offers can read pictures, so the screen cannot be asked about.</source>
        <translation>Keines der Modelle, die dieser Server anbietet, kann Bilder lesen, daher sind keine Fragen zum Bildschirm möglich.</translation>
    </message>
    <message>
        <source>The system prompt is longer than 16 KiB. Shorten it in Settings.</source>
        <translation>Die Systemanweisung ist länger als 16 KiB. Kürzen Sie sie in den Einstellungen.</translation>
    </message>
    <message>
        <source>The server&apos;s answer went on past 32 MiB; it was stopped.</source>
        <translation>Die Antwort des Servers überschritt 32 MiB und wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The server sent a reply line longer than 1 MiB; the answer was stopped.</source>
        <translation>Der Server hat eine Antwortzeile gesendet, die länger als 1 MiB ist; die Antwort wurde abgebrochen.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <extracomment>Follows &quot;API error: &quot; when the server&apos;s error message cannot be read</extracomment>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>Failed to parse API response</source>
        <translation>API-Antwort konnte nicht verarbeitet werden</translation>
    </message>
</context>
<context>
    <name>ChatViewModel</name>
    <message>
        <source>Screen capture failed: %1</source>
        <extracomment>Error line above the conversation; %1 is why, in the capture service&apos;s words</extracomment>
        <translation>Bildschirmerfassung fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Audio transcription failed: %1</source>
        <extracomment>Error line above the conversation; %1 is why, in the transcription service&apos;s words</extracomment>
        <translation>Audio-Transkription fehlgeschlagen: %1</translation>
    </message>
</context>
<context>
    <name>DesktopIntegration</name>
    <message>
        <source>This Pindle was built without sound recording (PulseAudio or FFmpeg was missing when it was built).</source>
        <translation>Diese Pindle-Version wurde ohne Audioaufnahme erstellt (PulseAudio oder FFmpeg fehlte beim Erstellen).</translation>
    </message>
    <message>
        <source>Screen capture needs an X11 session, and Pindle is running on &quot;%1&quot;.</source>
        <extracomment>%1 is the name of Qt&apos;s display platform (e.g. wayland, offscreen)</extracomment>
        <translation>Die Bildschirmerfassung erfordert eine X11-Sitzung, Pindle läuft jedoch auf „%1“.</translation>
    </message>
    <message>
        <source>Global hotkeys need an X11 session.</source>
        <translation>Globale Tastenkürzel erfordern eine X11-Sitzung.</translation>
    </message>
</context>
<context>
    <name>DesktopShortcuts</name>
    <message>
        <source>This desktop&apos;s shortcuts cannot be set from Pindle.</source>
        <translation>Die Tastenkürzel dieser Arbeitsumgebung können nicht von Pindle aus festgelegt werden.</translation>
    </message>
</context>
<context>
    <name>EmptyState</name>
    <message>
        <source>Invisible AI Assistant</source>
        <extracomment>Headline of the empty conversation</extracomment>
        <translation>Unsichtbarer KI-Assistent</translation>
    </message>
    <message>
        <source>Screenshot</source>
        <extracomment>Short name of the action that captures the screen</extracomment>
        <translation>Bildschirmfoto</translation>
    </message>
    <message>
        <source>Type</source>
        <extracomment>Short name of the action that switches to typing mode</extracomment>
        <translation>Eingabe</translation>
    </message>
    <message>
        <source>Toggle</source>
        <extracomment>Short name of the action that shows or hides the overlay</extracomment>
        <translation>Ausblenden</translation>
    </message>
    <message>
        <source>Hide it with %1 before you share.</source>
        <extracomment>%1 is the key combination that hides the overlay, e.g. Alt+H</extracomment>
        <translation>Blenden Sie es mit %1 aus, bevor Sie Ihren Bildschirm teilen.</translation>
    </message>
    <message>
        <source>Hide it before you share.</source>
        <translation>Blenden Sie es aus, bevor Sie Ihren Bildschirm teilen.</translation>
    </message>
    <message>
        <source>Ask anything — this window is hidden
from screen recordings &amp; video calls.</source>
        <translation>Fragen Sie, was Sie möchten – dieses Fenster ist in
Bildschirmaufnahmen und Videoanrufen unsichtbar.</translation>
    </message>
    <message>
        <source>Ask anything — this window never takes focus.</source>
        <translation>Fragen Sie, was Sie möchten – dieses Fenster übernimmt nie den Fokus.</translation>
    </message>
</context>
<context>
    <name>ErrorBanner</name>
    <message>
        <source>Dismiss</source>
        <extracomment>Link that closes the error banner</extracomment>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>GnomeShortcuts</name>
    <message>
        <source>gsettings could not be started: %1</source>
        <extracomment>gsettings is a program&apos;s name; %1 is the system&apos;s explanation</extracomment>
        <translation>gsettings konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>gsettings failed: %1</source>
        <extracomment>gsettings is a program&apos;s name; %1 is what it printed (untranslated)</extracomment>
        <translation>gsettings ist fehlgeschlagen: %1</translation>
    </message>
</context>
<context>
    <name>HeaderBar</name>
    <message>
        <source>Typing · Enter to send</source>
        <extracomment>Mode hint in the header while the overlay takes the keyboard; keep it short</extracomment>
        <translation>Eingabe · Enter zum Senden</translation>
    </message>
    <message>
        <source>Stealth · %1 to type</source>
        <extracomment>Mode hint in the header; %1 is the key combination that switches to typing, e.g. Alt+T</extracomment>
        <translation>Tarnmodus · %1 zum Tippen</translation>
    </message>
    <message>
        <source>Stealth</source>
        <extracomment>Mode hint in the header: the overlay never takes the keyboard</extracomment>
        <translation>Tarnmodus</translation>
    </message>
    <message>
        <source>Clear chat</source>
        <translation>Chat leeren</translation>
    </message>
    <message>
        <source>Menu</source>
        <extracomment>Tooltip of the button that opens the application menu</extracomment>
        <translation>Menü</translation>
    </message>
</context>
<context>
    <name>InputArea</name>
    <message>
        <source>Capture screen (%1)</source>
        <extracomment>Tooltip; %1 is the key combination that does the same, e.g. Alt+S</extracomment>
        <translation>Bildschirm erfassen (%1)</translation>
    </message>
    <message>
        <source>Capture screen</source>
        <translation>Bildschirm erfassen</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <extracomment>Tooltips of the microphone button</extracomment>
        <translation>Aufnahme beenden</translation>
    </message>
    <message>
        <source>Record Audio</source>
        <translation>Audio aufnehmen</translation>
    </message>
    <message>
        <source>Stop System Audio Recording</source>
        <translation>Systemtonaufnahme beenden</translation>
    </message>
    <message>
        <source>Record System Audio</source>
        <translation>Systemton aufnehmen</translation>
    </message>
    <message>
        <source>Ask anything…</source>
        <extracomment>Placeholder of the question field</extracomment>
        <translation>Stellen Sie eine Frage…</translation>
    </message>
    <message>
        <source>Send</source>
        <extracomment>Read by screen readers: name of the button that sends the question, next to the question field</extracomment>
        <translation>Senden</translation>
    </message>
</context>
<context>
    <name>LoginController</name>
    <message>
        <source>Sign up at %1</source>
        <extracomment>Link under the sign-in form; %1 is the web site&apos;s host name, maybe with a port</extracomment>
        <translation>Bei %1 registrieren</translation>
    </message>
</context>
<context>
    <name>LoginView</name>
    <message>
        <source>Sign in to your account</source>
        <translation>Melden Sie sich bei Ihrem Konto an</translation>
    </message>
    <message>
        <source>Email</source>
        <extracomment>Placeholder of the e-mail address field</extracomment>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Sign In</source>
        <extracomment>Button</extracomment>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Don&apos;t have an account?</source>
        <extracomment>Above the sign-up link</extracomment>
        <translation>Noch kein Konto?</translation>
    </message>
</context>
<context>
    <name>MessageBubble</name>
    <message>
        <source>Thinking…</source>
        <extracomment>Shown in an answer&apos;s bubble until its first words arrive</extracomment>
        <translation>Denkt nach…</translation>
    </message>
    <message>
        <source>You: %1 (with a screenshot)</source>
        <extracomment>Read by screen readers for the user&apos;s message that carries a screenshot; %1 is its text</extracomment>
        <translation>Sie: %1 (mit Bildschirmfoto)</translation>
    </message>
    <message>
        <source>You: %1</source>
        <extracomment>Read by screen readers for the user&apos;s message; %1 is its text</extracomment>
        <translation>Sie: %1</translation>
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
        <translation>Kein Gerät für Systemton gefunden</translation>
    </message>
    <message>
        <source>To record system audio, Pindle records the monitor source of your output device. Please make sure your sound server (PipeWire or PulseAudio) has an output device with a monitor source, and set it as your output device in your sound settings.</source>
        <translation>Um den Systemton aufzunehmen, nimmt Pindle die Monitor-Quelle Ihres Ausgabegeräts auf. Bitte stellen Sie sicher, dass Ihr Soundserver (PipeWire oder PulseAudio) ein Ausgabegerät mit Monitor-Quelle hat, und legen Sie dieses in Ihren Audioeinstellungen als Ausgabegerät fest.</translation>
    </message>
    <message>
        <source>Conversation</source>
        <extracomment>Read by screen readers: name of the overlay&apos;s list of questions and answers</extracomment>
        <translation>Unterhaltung</translation>
    </message>
</context>
<context>
    <name>PortalGlobalHotkeys</name>
    <message>
        <source>This desktop does not let applications take keyboard shortcuts. In its keyboard settings, add custom shortcuts for the commands pindle --toggle-overlay, pindle --capture-screen and pindle --type-mode.</source>
        <translation>Diese Arbeitsumgebung erlaubt Anwendungen keine eigenen Tastenkürzel. Fügen Sie in ihren Tastatureinstellungen eigene Tastenkürzel für die Befehle pindle --toggle-overlay, pindle --capture-screen und pindle --type-mode hinzu.</translation>
    </message>
    <message>
        <source>GNOME asks once, in a window of its own, whether Pindle may have these shortcuts: choose Add there. Change them later in GNOME Settings, Keyboard, Keyboard Shortcuts.</source>
        <extracomment>&quot;Add&quot; is the button in GNOME&apos;s own window; the rest names GNOME Settings&apos; pages</extracomment>
        <translation>GNOME fragt einmalig in einem eigenen Fenster, ob Pindle diese Tastenkürzel verwenden darf: Wählen Sie dort „Hinzufügen“. Ändern können Sie sie später in den GNOME-Einstellungen unter Tastatur, Tastaturkürzel.</translation>
    </message>
    <message>
        <source>The desktop refused Pindle&apos;s keyboard shortcuts.</source>
        <translation>Die Arbeitsumgebung hat die Tastenkürzel von Pindle abgelehnt.</translation>
    </message>
    <message>
        <source>The desktop portal answered without a session.</source>
        <translation>Das Desktop-Portal hat ohne Sitzung geantwortet.</translation>
    </message>
    <message>
        <source>The desktop portal did not list Pindle&apos;s shortcuts.</source>
        <translation>Das Desktop-Portal hat die Tastenkürzel von Pindle nicht aufgeführt.</translation>
    </message>
</context>
<context>
    <name>PortalRequest</name>
    <message>
        <source>There is no D-Bus session, through which the desktop portal is reached.</source>
        <translation>Es gibt keine D-Bus-Sitzung, über die das Desktop-Portal erreichbar wäre.</translation>
    </message>
    <message>
        <source>No desktop portal is running. Install xdg-desktop-portal with the backend for your desktop (-gnome, -kde or -wlr).</source>
        <extracomment>-gnome, -kde and -wlr complete the package name</extracomment>
        <translation>Es läuft kein Desktop-Portal. Installieren Sie xdg-desktop-portal mit dem Backend für Ihre Arbeitsumgebung (-gnome, -kde oder -wlr).</translation>
    </message>
    <message>
        <source>The desktop portal did not answer.</source>
        <translation>Das Desktop-Portal hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>The desktop portal refused: %1</source>
        <extracomment>%1 is the portal&apos;s own explanation (untranslated)</extracomment>
        <translation>Das Desktop-Portal hat abgelehnt: %1</translation>
    </message>
</context>
<context>
    <name>PortalScreenshot</name>
    <message>
        <source>This desktop&apos;s portal does not offer screenshots.</source>
        <translation>Das Portal dieser Arbeitsumgebung bietet keine Bildschirmfotos an.</translation>
    </message>
    <message>
        <source>The screenshot was cancelled.</source>
        <translation>Das Bildschirmfoto wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The desktop refused to take a screenshot. Allow Pindle to take screenshots in your desktop&apos;s privacy settings (GNOME: Settings, Apps, Pindle; KDE: System Settings, Application Permissions) and try again.</source>
        <extracomment>The parts after &quot;GNOME:&quot; and &quot;KDE:&quot; name pages of those desktops&apos; settings</extracomment>
        <translation>Die Arbeitsumgebung hat die Aufnahme eines Bildschirmfotos verweigert. Erlauben Sie Pindle in den Datenschutzeinstellungen Ihrer Arbeitsumgebung, Bildschirmfotos aufzunehmen (GNOME: Einstellungen, Apps, Pindle; KDE: Systemeinstellungen, Anwendungsberechtigungen), und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>The desktop&apos;s screenshot could not be read (%1).</source>
        <extracomment>%1 is the address of the picture the desktop saved</extracomment>
        <translation>Das Bildschirmfoto der Arbeitsumgebung konnte nicht gelesen werden (%1).</translation>
    </message>
</context>
<context>
    <name>PulseRecordingSession</name>
    <message>
        <source>No microphone was found.</source>
        <translation>Es wurde kein Mikrofon gefunden.</translation>
    </message>
    <message>
        <source>No sound output device was found, so the computer&apos;s audio cannot be recorded.</source>
        <translation>Es wurde kein Audio-Ausgabegerät gefunden, daher kann der Systemton nicht aufgenommen werden.</translation>
    </message>
    <message>
        <source>The sound server stopped answering: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>Der Soundserver antwortet nicht mehr: %1.</translation>
    </message>
    <message>
        <source>The sound system could not be started.</source>
        <translation>Das Audiosystem konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The sound server refused the connection: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>Der Soundserver hat die Verbindung abgelehnt: %1.</translation>
    </message>
    <message>
        <source>No sound server is running (PulseAudio or PipeWire).</source>
        <translation>Es läuft kein Soundserver (PulseAudio oder PipeWire).</translation>
    </message>
    <message>
        <source>Microphone recording</source>
        <translation>Mikrofonaufnahme</translation>
    </message>
    <message>
        <source>System audio recording</source>
        <translation>Systemtonaufnahme</translation>
    </message>
    <message>
        <source>The sound server refused to record: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>Der Soundserver hat die Aufnahme verweigert: %1.</translation>
    </message>
</context>
<context>
    <name>RecordingControls</name>
    <message>
        <source>The recording stopped before it could be saved.</source>
        <translation>Die Aufnahme wurde beendet, bevor sie gespeichert werden konnte.</translation>
    </message>
</context>
<context>
    <name>ReplyWatcher</name>
    <message>
        <source>The server&apos;s reply is larger than %1 MiB.</source>
        <extracomment>%1 is the largest reply accepted, in mebibytes</extracomment>
        <translation>Die Antwort des Servers ist größer als %1 MiB.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>Zeitüberschreitung bei der Anfrage.</translation>
    </message>
</context>
<context>
    <name>ScreenCaptureService</name>
    <message>
        <source>No display found for screen capture</source>
        <translation>Keine Anzeige für die Bildschirmerfassung gefunden</translation>
    </message>
    <message>
        <source>Failed to encode screenshot as JPEG</source>
        <translation>Bildschirmfoto konnte nicht als JPEG kodiert werden</translation>
    </message>
</context>
<context>
    <name>SettingsController</name>
    <message>
        <source>Loading...</source>
        <extracomment>Shown in the settings window&apos;s account rows while the account is being fetched</extracomment>
        <translation>Wird geladen...</translation>
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
        <translation>Aktiv</translation>
    </message>
    <message>
        <source>Not signed in</source>
        <extracomment>Shown in the settings window&apos;s account rows in place of the e-mail address</extracomment>
        <translation>Nicht angemeldet</translation>
    </message>
    <message>
        <source>N/A</source>
        <extracomment>Shown in place of the subscription status when no one is signed in</extracomment>
        <translation>k. A.</translation>
    </message>
</context>
<context>
    <name>SettingsManager</name>
    <message>
        <source>Current flagship GPT-5 family model for complex reasoning and coding.</source>
        <translation>Aktuelles Spitzenmodell der GPT-5-Familie für komplexes logisches Denken und Programmieren.</translation>
    </message>
    <message>
        <source>High-capability GPT-5 family model with lower cost than GPT-5.5.</source>
        <translation>Leistungsstarkes Modell der GPT-5-Familie, günstiger als GPT-5.5.</translation>
    </message>
    <message>
        <source>Faster, cheaper GPT-5 family model for everyday work.</source>
        <translation>Schnelleres, günstigeres Modell der GPT-5-Familie für die tägliche Arbeit.</translation>
    </message>
    <message>
        <source>Best overall for quality, coding, and instruction following.</source>
        <translation>Insgesamt am besten bei Qualität, Programmieren und dem Befolgen von Anweisungen.</translation>
    </message>
    <message>
        <source>Best for deep reasoning and harder multi-step tasks.</source>
        <translation>Am besten für tiefgehendes logisches Denken und anspruchsvollere mehrstufige Aufgaben.</translation>
    </message>
    <message>
        <source>Strong reasoning with lower cost and faster responses.</source>
        <translation>Starkes logisches Denken bei geringeren Kosten und schnelleren Antworten.</translation>
    </message>
    <message>
        <source>Reliable multimodal general-purpose model for text, images, and voice.</source>
        <translation>Zuverlässiges multimodales Universalmodell für Text, Bilder und Sprache.</translation>
    </message>
    <message>
        <source>Balanced speed and quality for everyday use.</source>
        <translation>Ausgewogene Geschwindigkeit und Qualität für den Alltag.</translation>
    </message>
    <message>
        <source>Fast and inexpensive for lightweight prompts.</source>
        <translation>Schnell und günstig für einfache Anfragen.</translation>
    </message>
    <message>
        <source>Compact reasoning model for quick analytical tasks.</source>
        <translation>Kompaktes Modell mit logischem Denken für schnelle Analyseaufgaben.</translation>
    </message>
    <message>
        <source>Smallest, fastest option for simple low-latency requests.</source>
        <translation>Kleinste, schnellste Option für einfache Anfragen mit geringer Latenz.</translation>
    </message>
    <message>
        <source>Older high-capability GPT-4 generation kept for compatibility.</source>
        <translation>Ältere leistungsstarke GPT-4-Generation, aus Kompatibilitätsgründen beibehalten.</translation>
    </message>
    <message>
        <source>Legacy GPT-4 model kept for older workflows.</source>
        <translation>Veraltetes GPT-4-Modell, für ältere Arbeitsabläufe beibehalten.</translation>
    </message>
    <message>
        <source>Legacy budget model kept for backward compatibility.</source>
        <translation>Veraltetes günstiges Modell, aus Gründen der Abwärtskompatibilität beibehalten.</translation>
    </message>
    <message>
        <source>Previously saved custom model.</source>
        <extracomment>Description of a model id the user saved that no list names</extracomment>
        <translation>Zuvor gespeichertes benutzerdefiniertes Modell.</translation>
    </message>
    <message>
        <source>%1 (not offered)</source>
        <extracomment>Model picker entry; %1 is the model&apos;s id</extracomment>
        <translation>%1 (nicht angeboten)</translation>
    </message>
    <message>
        <source>This server no longer offers this model; %1 is used instead.</source>
        <extracomment>%1 is the name of the model used in its place</extracomment>
        <translation>Dieser Server bietet dieses Modell nicht mehr an; stattdessen wird %1 verwendet.</translation>
    </message>
    <message>
        <source>it is too large</source>
        <extracomment>Why the settings file could not be read; completes &quot;could not be read (...)&quot;</extracomment>
        <translation>die Datei ist zu groß</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <extracomment>Why the settings file could not be read; completes &quot;could not be read (...)&quot;</extracomment>
        <translation>die Datei ist kein JSON-Objekt</translation>
    </message>
    <message>
        <source>Your settings could not be read (%1). They were kept as %2 and the defaults are in use.</source>
        <extracomment>%1 is why the file could not be read, %2 the path it was moved to</extracomment>
        <translation>Ihre Einstellungen konnten nicht gelesen werden (%1). Sie wurden als %2 aufbewahrt, und die Standardwerte werden verwendet.</translation>
    </message>
    <message>
        <source>Your settings at %1 could not be read (%2). The defaults are in use and changes will not be saved, so the file stays as it is.</source>
        <extracomment>%1 is the settings file&apos;s path, %2 why it could not be read</extracomment>
        <translation>Ihre Einstellungen in %1 konnten nicht gelesen werden (%2). Es werden die Standardwerte verwendet und Änderungen nicht gespeichert, damit die Datei unverändert bleibt.</translation>
    </message>
    <message>
        <source>Your settings could not be saved: they are larger than 1 MiB.</source>
        <translation>Ihre Einstellungen konnten nicht gespeichert werden: sie sind größer als 1 MiB.</translation>
    </message>
    <message>
        <source>Your settings could not be saved: %1</source>
        <extracomment>%1 is the system&apos;s description of the failure</extracomment>
        <translation>Ihre Einstellungen konnten nicht gespeichert werden: %1</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Add Pindle&apos;s shortcuts to GNOME?</source>
        <extracomment>Dialog title</extracomment>
        <translation>Pindle-Tastenkürzel zu GNOME hinzufügen?</translation>
    </message>
    <message>
        <source>GNOME&apos;s keyboard settings get a custom shortcut for each of these, but for combinations GNOME already uses. You can change or remove them there later.</source>
        <translation>In den Tastatureinstellungen von GNOME wird für jede dieser Aktionen ein eigenes Tastenkürzel angelegt, außer für Kombinationen, die GNOME bereits verwendet. Sie können sie dort später ändern oder entfernen.</translation>
    </message>
    <message>
        <source>Account</source>
        <extracomment>Section title</extracomment>
        <translation>Konto</translation>
    </message>
    <message>
        <source>Email:</source>
        <extracomment>Label before the signed-in e-mail address</extracomment>
        <translation>E-Mail:</translation>
    </message>
    <message>
        <source>Subscription:</source>
        <extracomment>Label before the subscription state</extracomment>
        <translation>Abonnement:</translation>
    </message>
    <message>
        <source>Tokens left:</source>
        <extracomment>Label before the number of tokens the account has left</extracomment>
        <translation>Token-Guthaben:</translation>
    </message>
    <message>
        <source>Model</source>
        <extracomment>Section title and name of the picker: the AI model that answers</extracomment>
        <translation>Modell</translation>
    </message>
    <message>
        <source>Start Pindle at login</source>
        <translation>Pindle beim Anmelden starten</translation>
    </message>
    <message>
        <source>Overlay Opacity</source>
        <extracomment>Section title</extracomment>
        <translation>Overlay-Deckkraft</translation>
    </message>
    <message>
        <source>Assistant Category</source>
        <extracomment>Section title</extracomment>
        <translation>Assistentenkategorie</translation>
    </message>
    <message>
        <source>System Prompt</source>
        <extracomment>Section title: the user&apos;s own instruction sent to the AI</extracomment>
        <translation>Systemanweisung</translation>
    </message>
    <message>
        <source>Sent with every question, after the server&apos;s instruction for the category.</source>
        <translation>Wird mit jeder Frage gesendet, nach der Anweisung des Servers für die Kategorie.</translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <extracomment>Section title</extracomment>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Press keys…</source>
        <extracomment>On the shortcut button while it waits for the new key combination; keep it short</extracomment>
        <translation>Tasten drücken…</translation>
    </message>
    <message>
        <source>Click, then press the new shortcut</source>
        <translation>Klicken Sie und drücken Sie dann das neue Tastenkürzel</translation>
    </message>
    <message>
        <source>Reset</source>
        <extracomment>Button that restores a shortcut&apos;s default key combination</extracomment>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Click a shortcut, then press the keys you want (Escape cancels).</source>
        <translation>Klicken Sie auf ein Tastenkürzel und drücken Sie dann die gewünschten Tasten (Escape bricht ab).</translation>
    </message>
    <message>
        <source>Add to GNOME&apos;s Keyboard Shortcuts…</source>
        <extracomment>Button</extracomment>
        <translation>Zu GNOME-Tastenkürzeln hinzufügen…</translation>
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
        <translation>Overlay ein/aus</translation>
    </message>
    <message>
        <source>Toggle overlay visibility</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Overlay ein- oder ausblenden</translation>
    </message>
    <message>
        <source>Capture Screen</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Bildschirm erfassen</translation>
    </message>
    <message>
        <source>Screenshot &amp; analyze</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Bildschirmfoto analysieren</translation>
    </message>
    <message>
        <source>Type Mode</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Eingabemodus</translation>
    </message>
    <message>
        <source>Toggle typing mode</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Eingabemodus ein- oder ausschalten</translation>
    </message>
</context>
<context>
    <name>ShortcutController</name>
    <message>
        <source>another program</source>
        <extracomment>Who holds a key combination when it is not known (&quot;Alt+S is already used by ...&quot;)</extracomment>
        <translation>einem anderen Programm</translation>
    </message>
    <message>
        <source>%1 for “%2”</source>
        <extracomment>Who holds a key combination: %1 is a program or the desktop, %2 what it does with it</extracomment>
        <translation>%1 für „%2“</translation>
    </message>
    <message>
        <source>%1 is already used by %2, so %3 has no shortcut there: choose another combination above, then add again.</source>
        <extracomment>%1 is a key combination, %2 who holds it, %3 the action&apos;s name (“Capture Screen”)</extracomment>
        <translation>%1 wird bereits von %2 verwendet, daher hat „%3“ dort kein Tastenkürzel: Wählen Sie oben eine andere Kombination und fügen Sie sie erneut hinzu.</translation>
    </message>
    <message>
        <source>Pindle: %1</source>
        <extracomment>Name of a shortcut in the desktop&apos;s keyboard settings; %1 is the action&apos;s name</extracomment>
        <translation>Pindle: %1</translation>
    </message>
    <message>
        <source>Added to the desktop&apos;s keyboard shortcuts: %1.</source>
        <extracomment>%1 lists the key combinations added, separated by commas</extracomment>
        <translation>Zu den Tastenkürzeln der Arbeitsumgebung hinzugefügt: %1.</translation>
    </message>
    <message>
        <source>The shortcuts could not be added: %1</source>
        <extracomment>%1 is why, in the desktop&apos;s words</extracomment>
        <translation>Die Tastenkürzel konnten nicht hinzugefügt werden: %1</translation>
    </message>
    <message>
        <source>No global shortcuts</source>
        <extracomment>Title of a desktop notification</extracomment>
        <translation>Keine globalen Tastenkürzel</translation>
    </message>
    <message>
        <source>%1 is already used by %2, so %3 has no shortcut.</source>
        <extracomment>%1 is a key combination, %2 who holds it, %3 the action&apos;s name (“Capture Screen”)</extracomment>
        <translation>%1 wird bereits von %2 verwendet, daher hat „%3“ kein Tastenkürzel.</translation>
    </message>
    <message>
        <source>Choose another under Keyboard Shortcuts in Pindle&apos;s Settings.</source>
        <translation>Wählen Sie in den Einstellungen von Pindle unter „Tastenkürzel“ ein anderes.</translation>
    </message>
    <message>
        <source>Already used by %1.</source>
        <extracomment>Why a shortcut does nothing; %1 is who holds its combination</extracomment>
        <translation>Bereits von %1 verwendet.</translation>
    </message>
    <message>
        <source>Waiting for the desktop to take it.</source>
        <extracomment>Why a shortcut does not work yet, under it in the settings window</extracomment>
        <translation>Wartet auf die Übernahme durch die Arbeitsumgebung.</translation>
    </message>
    <message>
        <source>The desktop has %1 for it instead: change that in the desktop&apos;s keyboard settings.</source>
        <extracomment>%1 is the key combination the desktop gave the action</extracomment>
        <translation>Die Arbeitsumgebung verwendet stattdessen %1 dafür: Ändern Sie das in den Tastatureinstellungen der Arbeitsumgebung.</translation>
    </message>
    <message>
        <source>A shortcut needs Ctrl, Alt or Super.</source>
        <translation>Ein Tastenkürzel muss Strg, Alt oder Super enthalten.</translation>
    </message>
    <message>
        <source>%1 is already the shortcut for %2.</source>
        <extracomment>%1 is a key combination, %2 the name of the action that has it</extracomment>
        <translation>%1 ist bereits das Tastenkürzel für „%2“.</translation>
    </message>
    <message>
        <source>%1 is used by %2.</source>
        <extracomment>%1 is a key combination, %2 who holds it (a program, or the desktop for an action)</extracomment>
        <translation>%1 wird von %2 verwendet.</translation>
    </message>
    <message>
        <source>That key cannot be part of a shortcut.</source>
        <translation>Diese Taste kann nicht Teil eines Tastenkürzels sein.</translation>
    </message>
    <message numerus="yes">
        <source>Shortcut(s) unavailable</source>
        <extracomment>Title of a desktop notification with a line for each shortcut; %n is how many</extracomment>
        <translation>
            <numerusform>Tastenkürzel nicht verfügbar</numerusform>
            <numerusform>Tastenkürzel nicht verfügbar</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StartAtLogin</name>
    <message>
        <source>Pindle could not remove %1: %2</source>
        <extracomment>%1 is the login entry&apos;s path, %2 the system&apos;s description of the failure</extracomment>
        <translation>Pindle konnte %1 nicht entfernen: %2</translation>
    </message>
    <message>
        <source>Pindle could not create the folder %1.</source>
        <extracomment>%1 is a folder&apos;s path</extracomment>
        <translation>Pindle konnte den Ordner %1 nicht erstellen.</translation>
    </message>
    <message>
        <source>Pindle cannot start at login from %1: a login entry cannot hold a path with a line break or another control character. Move Pindle to another folder.</source>
        <extracomment>%1 is the path of Pindle&apos;s program file</extracomment>
        <translation>Pindle kann nicht von %1 aus bei der Anmeldung starten: Ein Anmeldeeintrag kann keinen Pfad mit einem Zeilenumbruch oder einem anderen Steuerzeichen enthalten. Verschieben Sie Pindle in einen anderen Ordner.</translation>
    </message>
    <message>
        <source>Pindle could not write %1: %2</source>
        <extracomment>%1 is the login entry&apos;s path, %2 the system&apos;s description of the failure</extracomment>
        <translation>Pindle konnte %1 nicht schreiben: %2</translation>
    </message>
</context>
<context>
    <name>TokenStore</name>
    <message>
        <source>Pindle closed while reading the keychain.</source>
        <translation>Pindle wurde beim Lesen des Schlüsselbunds beendet.</translation>
    </message>
</context>
<context>
    <name>WaylandStepAsideGrabber</name>
    <message>
        <source>The desktop did not hand over the picture of the screen. Try again.</source>
        <translation>Die Arbeitsumgebung hat das Bild des Bildschirms nicht übergeben. Versuchen Sie es erneut.</translation>
    </message>
</context>
<context>
    <name>X11StepAsideGrabber</name>
    <message>
        <source>The display did not hand over the picture of the screen. Try again.</source>
        <translation>Der Anzeigeserver hat das Bild des Bildschirms nicht übergeben. Versuchen Sie es erneut.</translation>
    </message>
</context>
</TS>
