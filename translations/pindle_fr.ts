<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>AacFileWriter</name>
    <message>
        <source>The recording could not be written to %1: %2.</source>
        <extracomment>%1 is the file&apos;s path, %2 FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>L’enregistrement n’a pas pu être écrit dans %1&#x202f;: %2.</translation>
    </message>
    <message>
        <source>The audio encoder could not prepare the file: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>L’encodeur audio n’a pas pu préparer le fichier&#x202f;: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not find the AAC encoder: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>L’encodeur audio n’a pas trouvé l’encodeur AAC&#x202f;: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not start: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>L’encodeur audio n’a pas pu démarrer&#x202f;: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not convert the samples: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>L’encodeur audio n’a pas pu convertir les échantillons&#x202f;: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not buffer the samples: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>L’encodeur audio n’a pas pu mettre les échantillons en mémoire tampon&#x202f;: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not encode: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>L’encodeur audio n’a pas pu encoder&#x202f;: %1.</translation>
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
        <translation>Ouvrir les paramètres</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <extracomment>Menu item: %1 is the action&apos;s name, %2 its shortcut (&quot;Capture Screen (Alt+S)&quot;)</extracomment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Settings…</source>
        <extracomment>Menu item</extracomment>
        <translation>Paramètres…</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <extracomment>Menu item</extracomment>
        <translation>Se déconnecter</translation>
    </message>
    <message>
        <source>Quit Pindle</source>
        <extracomment>Menu item</extracomment>
        <translation>Quitter Pindle</translation>
    </message>
    <message>
        <source>Press %1 to show Pindle. </source>
        <extracomment>Sentence in a desktop notification, ending in a space; %1 is a shortcut (&quot;Alt+Space&quot;)</extracomment>
        <translation>Appuyez sur %1 pour afficher Pindle. </translation>
    </message>
    <message>
        <source>Pindle is running</source>
        <extracomment>Title of a desktop notification</extracomment>
        <translation>Pindle est lancé</translation>
    </message>
    <message>
        <source>This desktop shows no tray icons, so Pindle has none. %1Starting Pindle again shows it. The menu button in its header has Settings and Quit.</source>
        <extracomment>Desktop notification; %1 is empty, or the sentence &quot;Press &lt;shortcut&gt; to show Pindle. &quot;</extracomment>
        <translation>Ce bureau n’affiche pas d’icônes dans la zone de notification, Pindle n’en a donc pas. %1Relancez Pindle pour l’afficher. Le bouton de menu en haut de sa fenêtre permet d’ouvrir les paramètres ou de quitter.</translation>
    </message>
    <message>
        <source>Show Pindle</source>
        <extracomment>Button on a desktop notification</extracomment>
        <translation>Afficher Pindle</translation>
    </message>
    <message>
        <source>Pindle — Sign In</source>
        <extracomment>Window title</extracomment>
        <translation>Pindle — Connexion</translation>
    </message>
    <message>
        <source>Pindle Settings</source>
        <extracomment>Window title</extracomment>
        <translation>Paramètres de Pindle</translation>
    </message>
</context>
<context>
    <name>AssistantCategory</name>
    <message>
        <source>Exams &amp; Study</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Examens et études</translation>
    </message>
    <message>
        <source>Exam prep, study help, and academic questions.</source>
        <translation>Préparation aux examens, aide aux études et questions scolaires ou universitaires.</translation>
    </message>
    <message>
        <source>Coding Help</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Programmation</translation>
    </message>
    <message>
        <source>Programming, debugging, and code explanations.</source>
        <translation>Programmation, débogage et explications de code.</translation>
    </message>
    <message>
        <source>Productivity</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Productivité</translation>
    </message>
    <message>
        <source>Productivity tips, organization, and workflow.</source>
        <translation>Conseils de productivité, organisation et méthodes de travail.</translation>
    </message>
    <message>
        <source>Writing &amp; Content</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Rédaction et contenu</translation>
    </message>
    <message>
        <source>Writing, editing, and content creation.</source>
        <translation>Rédaction, révision et création de contenu.</translation>
    </message>
    <message>
        <source>General Q&amp;A</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Questions générales</translation>
    </message>
    <message>
        <source>General questions and answers.</source>
        <translation>Questions et réponses sur tous les sujets.</translation>
    </message>
</context>
<context>
    <name>AudioCaptureModule</name>
    <message>
        <source>Pindle&apos;s sound recording module (%1) is not installed.</source>
        <translation>Le module d’enregistrement audio de Pindle (%1) n’est pas installé.</translation>
    </message>
    <message>
        <source>Pindle&apos;s sound recording module could not be loaded: %1</source>
        <translation>Le module d’enregistrement audio de Pindle n’a pas pu être chargé&#x202f;: %1</translation>
    </message>
</context>
<context>
    <name>AudioRecorder</name>
    <message>
        <source>The temporary folder %1 does not exist.</source>
        <extracomment>%1 is the folder&apos;s path</extracomment>
        <translation>Le dossier temporaire %1 n’existe pas.</translation>
    </message>
</context>
<context>
    <name>AuthService</name>
    <message>
        <source>The server&apos;s reply is not a JSON object.</source>
        <translation>La réponse du serveur n’est pas un objet JSON.</translation>
    </message>
    <message>
        <source>The server&apos;s reply does not describe a user.</source>
        <translation>La réponse du serveur ne décrit aucun utilisateur.</translation>
    </message>
    <message>
        <source>The server&apos;s reply has no sign-in token.</source>
        <translation>La réponse du serveur ne contient aucun jeton de connexion.</translation>
    </message>
    <message>
        <source>Signed out while signing in.</source>
        <translation>Déconnexion survenue pendant la connexion.</translation>
    </message>
    <message>
        <source>Signed out while the session was being checked.</source>
        <translation>Déconnexion survenue pendant la vérification de la session.</translation>
    </message>
</context>
<context>
    <name>BackendConfig</name>
    <message>
        <source>Refusing to send your sign-in over an unencrypted connection to %1. Pindle&apos;s backend address must start with https://.</source>
        <extracomment>%1 is the backend&apos;s host name or address</extracomment>
        <translation>Envoi de vos identifiants refusé&#x202f;: la connexion à %1 n’est pas chiffrée. L’adresse du serveur de Pindle doit commencer par https://.</translation>
    </message>
</context>
<context>
    <name>BackendTexts</name>
    <message>
        <source>Not logged in. Please sign in to use Pindle.</source>
        <extracomment>Shown in the chat when a question is asked without a session</extracomment>
        <translation>Non connecté. Connectez-vous pour utiliser Pindle.</translation>
    </message>
    <message>
        <source>Not logged in</source>
        <extracomment>Shown when the session is checked without a session</extracomment>
        <translation>Non connecté</translation>
    </message>
    <message>
        <source>The stored sign-in is damaged. Please sign in again.</source>
        <translation>Les informations de connexion enregistrées sont endommagées. Veuillez vous reconnecter.</translation>
    </message>
    <message>
        <source>Invalid response from server</source>
        <extracomment>The server&apos;s answer is not an HTTP response at all</extracomment>
        <translation>Réponse du serveur non valide</translation>
    </message>
    <message>
        <source>Session expired. Please sign in again.</source>
        <translation>Session expirée. Veuillez vous reconnecter.</translation>
    </message>
    <message>
        <source>Session expired. Please log in again.</source>
        <translation>Session expirée. Veuillez vous reconnecter.</translation>
    </message>
    <message>
        <source>Token balance exhausted or access denied. Buy tokens or subscribe on %1.</source>
        <extracomment>%1 is the website&apos;s domain name, e.g. pindle.app</extracomment>
        <translation>Solde de jetons épuisé ou accès refusé. Achetez des jetons ou abonnez-vous sur %1.</translation>
    </message>
    <message>
        <source>Server error (%1): %2</source>
        <extracomment>%1 is the HTTP status code, %2 the server&apos;s own message (untranslated)</extracomment>
        <translation>Erreur du serveur (%1)&#x202f;: %2</translation>
    </message>
    <message>
        <source>API error: %1</source>
        <extracomment>%1 is the server&apos;s own error message (untranslated)</extracomment>
        <translation>Erreur de l’API&#x202f;: %1</translation>
    </message>
    <message>
        <source>Login failed (HTTP %1)</source>
        <extracomment>%1 is the HTTP status code</extracomment>
        <translation>Échec de la connexion (HTTP %1)</translation>
    </message>
    <message>
        <source>Verification failed (HTTP %1)</source>
        <extracomment>Checking the stored session failed; %1 is the HTTP status code</extracomment>
        <translation>Échec de la vérification (HTTP %1)</translation>
    </message>
    <message>
        <source>Failed to transcribe audio</source>
        <translation>Échec de la transcription audio</translation>
    </message>
    <message>
        <source>The server&apos;s reply is not valid JSON (%1).</source>
        <extracomment>%1 is the JSON parser&apos;s description of the fault (from Qt)</extracomment>
        <translation>La réponse du serveur n’est pas du JSON valide (%1).</translation>
    </message>
</context>
<context>
    <name>ChatClient</name>
    <message>
        <source>None of the models this server offers can read pictures, so the screen cannot be asked about.</source>
        <translation>Aucun des modèles proposés par ce serveur ne sait lire les images&#x202f;: impossible de poser une question sur l’écran.</translation>
    </message>
    <message>
        <source>The system prompt is longer than 16 KiB. Shorten it in Settings.</source>
        <translation>Les instructions système dépassent 16 Kio. Raccourcissez-les dans les paramètres.</translation>
    </message>
    <message>
        <source>The server&apos;s answer went on past 32 MiB; it was stopped.</source>
        <translation>La réponse du serveur a dépassé 32 Mio&#x202f;; elle a été interrompue.</translation>
    </message>
    <message>
        <source>The server sent a reply line longer than 1 MiB; the answer was stopped.</source>
        <translation>Le serveur a envoyé une ligne de réponse de plus de 1 Mio&#x202f;; la réponse a été interrompue.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <extracomment>Follows &quot;API error: &quot; when the server&apos;s error message cannot be read</extracomment>
        <translation>Erreur inconnue</translation>
    </message>
    <message>
        <source>Failed to parse API response</source>
        <translation>Impossible d’analyser la réponse de l’API</translation>
    </message>
</context>
<context>
    <name>ChatViewModel</name>
    <message>
        <source>Screen capture failed: %1</source>
        <extracomment>Error line above the conversation; %1 is why, in the capture service&apos;s words</extracomment>
        <translation>Échec de la capture d’écran&#x202f;: %1</translation>
    </message>
    <message>
        <source>Audio transcription failed: %1</source>
        <extracomment>Error line above the conversation; %1 is why, in the transcription service&apos;s words</extracomment>
        <translation>Échec de la transcription audio&#x202f;: %1</translation>
    </message>
</context>
<context>
    <name>DesktopIntegration</name>
    <message>
        <source>This Pindle was built without sound recording (PulseAudio or FFmpeg was missing when it was built).</source>
        <translation>Cette version de Pindle a été compilée sans prise en charge de l’enregistrement audio (PulseAudio ou FFmpeg manquait lors de la compilation).</translation>
    </message>
    <message>
        <source>Screen capture needs an X11 session, and Pindle is running on &quot;%1&quot;.</source>
        <extracomment>%1 is the name of Qt&apos;s display platform (e.g. wayland, offscreen)</extracomment>
        <translation>La capture d’écran nécessite une session X11, or Pindle s’exécute sur «&#x202f;%1&#x202f;».</translation>
    </message>
    <message>
        <source>Global hotkeys need an X11 session.</source>
        <translation>Les raccourcis globaux nécessitent une session X11.</translation>
    </message>
</context>
<context>
    <name>DesktopShortcuts</name>
    <message>
        <source>This desktop&apos;s shortcuts cannot be set from Pindle.</source>
        <translation>Les raccourcis de ce bureau ne peuvent pas être définis depuis Pindle.</translation>
    </message>
</context>
<context>
    <name>EmptyState</name>
    <message>
        <source>Invisible AI Assistant</source>
        <extracomment>Headline of the empty conversation</extracomment>
        <translation>Assistant IA invisible</translation>
    </message>
    <message>
        <source>Screenshot</source>
        <extracomment>Short name of the action that captures the screen</extracomment>
        <translation>Capture</translation>
    </message>
    <message>
        <source>Type</source>
        <extracomment>Short name of the action that switches to typing mode</extracomment>
        <translation>Saisie</translation>
    </message>
    <message>
        <source>Toggle</source>
        <extracomment>Short name of the action that shows or hides the overlay</extracomment>
        <translation>Masquer</translation>
    </message>
    <message>
        <source>Hide it with %1 before you share.</source>
        <extracomment>%1 is the key combination that hides the overlay, e.g. Alt+H</extracomment>
        <translation>Masquez-la avec %1 avant de partager votre écran.</translation>
    </message>
    <message>
        <source>Hide it before you share.</source>
        <translation>Masquez-la avant de partager votre écran.</translation>
    </message>
    <message>
        <source>Ask anything — this window is hidden
from screen recordings &amp; video calls.</source>
        <translation>Posez vos questions — cette fenêtre est invisible
dans les enregistrements d’écran et appels vidéo.</translation>
    </message>
    <message>
        <source>Ask anything — this window never takes focus.</source>
        <translation>Posez vos questions — la fenêtre ne prend jamais le focus.</translation>
    </message>
</context>
<context>
    <name>ErrorBanner</name>
    <message>
        <source>Dismiss</source>
        <extracomment>Link that closes the error banner</extracomment>
        <translation>Fermer</translation>
    </message>
</context>
<context>
    <name>GnomeShortcuts</name>
    <message>
        <source>gsettings could not be started: %1</source>
        <extracomment>gsettings is a program&apos;s name; %1 is the system&apos;s explanation</extracomment>
        <translation>Impossible de lancer gsettings&#x202f;: %1</translation>
    </message>
    <message>
        <source>gsettings failed: %1</source>
        <extracomment>gsettings is a program&apos;s name; %1 is what it printed (untranslated)</extracomment>
        <translation>Échec de gsettings&#x202f;: %1</translation>
    </message>
</context>
<context>
    <name>HeaderBar</name>
    <message>
        <source>Typing · Enter to send</source>
        <extracomment>Mode hint in the header while the overlay takes the keyboard; keep it short</extracomment>
        <translation>Saisie · Entrée pour envoyer</translation>
    </message>
    <message>
        <source>Stealth · %1 to type</source>
        <extracomment>Mode hint in the header; %1 is the key combination that switches to typing, e.g. Alt+T</extracomment>
        <translation>Furtif · %1 pour saisir</translation>
    </message>
    <message>
        <source>Stealth</source>
        <extracomment>Mode hint in the header: the overlay never takes the keyboard</extracomment>
        <translation>Furtif</translation>
    </message>
    <message>
        <source>Clear chat</source>
        <translation>Effacer la conversation</translation>
    </message>
    <message>
        <source>Menu</source>
        <extracomment>Tooltip of the button that opens the application menu</extracomment>
        <translation>Menu</translation>
    </message>
</context>
<context>
    <name>InputArea</name>
    <message>
        <source>Capture screen (%1)</source>
        <extracomment>Tooltip; %1 is the key combination that does the same, e.g. Alt+S</extracomment>
        <translation>Capturer l’écran (%1)</translation>
    </message>
    <message>
        <source>Capture screen</source>
        <translation>Capturer l’écran</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <extracomment>Tooltips of the microphone button</extracomment>
        <translation>Arrêter l’enregistrement</translation>
    </message>
    <message>
        <source>Record Audio</source>
        <translation>Enregistrer depuis le micro</translation>
    </message>
    <message>
        <source>Stop System Audio Recording</source>
        <translation>Arrêter l’enregistrement du son de l’ordinateur</translation>
    </message>
    <message>
        <source>Record System Audio</source>
        <translation>Enregistrer le son de l’ordinateur</translation>
    </message>
    <message>
        <source>Ask anything…</source>
        <extracomment>Placeholder of the question field</extracomment>
        <translation>Posez une question…</translation>
    </message>
    <message>
        <source>Send</source>
        <extracomment>Read by screen readers: name of the button that sends the question, next to the question field</extracomment>
        <translation>Envoyer</translation>
    </message>
</context>
<context>
    <name>LoginController</name>
    <message>
        <source>Sign up at %1</source>
        <extracomment>Link under the sign-in form; %1 is the web site&apos;s host name, maybe with a port</extracomment>
        <translation>S’inscrire sur %1</translation>
    </message>
</context>
<context>
    <name>LoginView</name>
    <message>
        <source>Sign in to your account</source>
        <translation>Connectez-vous à votre compte</translation>
    </message>
    <message>
        <source>Email</source>
        <extracomment>Placeholder of the e-mail address field</extracomment>
        <translation>Adresse e-mail</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Mot de passe</translation>
    </message>
    <message>
        <source>Sign In</source>
        <extracomment>Button</extracomment>
        <translation>Se connecter</translation>
    </message>
    <message>
        <source>Don&apos;t have an account?</source>
        <extracomment>Above the sign-up link</extracomment>
        <translation>Vous n’avez pas de compte&#x202f;?</translation>
    </message>
</context>
<context>
    <name>MessageBubble</name>
    <message>
        <source>Thinking…</source>
        <extracomment>Shown in an answer&apos;s bubble until its first words arrive</extracomment>
        <translation>Réflexion…</translation>
    </message>
    <message>
        <source>You: %1 (with a screenshot)</source>
        <extracomment>Read by screen readers for the user&apos;s message that carries a screenshot; %1 is its text</extracomment>
        <translation>Vous&#x202f;: %1 (avec une capture d’écran)</translation>
    </message>
    <message>
        <source>You: %1</source>
        <extracomment>Read by screen readers for the user&apos;s message; %1 is its text</extracomment>
        <translation>Vous&#x202f;: %1</translation>
    </message>
    <message>
        <source>Pindle: %1</source>
        <extracomment>Read by screen readers for an answer; %1 is its text</extracomment>
        <translation>Pindle&#x202f;: %1</translation>
    </message>
</context>
<context>
    <name>OverlayContentView</name>
    <message>
        <source>System Audio Device Not Found</source>
        <extracomment>Dialog title</extracomment>
        <translation>Source du son de l’ordinateur introuvable</translation>
    </message>
    <message>
        <source>To record system audio, Pindle records the monitor source of your output device. Please make sure your sound server (PipeWire or PulseAudio) has an output device with a monitor source, and set it as your output device in your sound settings.</source>
        <translation>Pour enregistrer le son de l’ordinateur, Pindle enregistre la source de retour («&#x202f;monitor&#x202f;») de votre périphérique de sortie. Vérifiez que votre serveur de son (PipeWire ou PulseAudio) dispose d’un périphérique de sortie avec une source de retour, et choisissez-le comme périphérique de sortie dans vos paramètres de son.</translation>
    </message>
    <message>
        <source>Conversation</source>
        <extracomment>Read by screen readers: name of the overlay&apos;s list of questions and answers</extracomment>
        <translation>Conversation</translation>
    </message>
</context>
<context>
    <name>PortalGlobalHotkeys</name>
    <message>
        <source>This desktop does not let applications take keyboard shortcuts. In its keyboard settings, add custom shortcuts for the commands pindle --toggle-overlay, pindle --capture-screen and pindle --type-mode.</source>
        <translation>Ce bureau ne permet pas aux applications de définir des raccourcis clavier. Dans ses paramètres de clavier, ajoutez des raccourcis personnalisés pour les commandes pindle --toggle-overlay, pindle --capture-screen et pindle --type-mode.</translation>
    </message>
    <message>
        <source>GNOME asks once, in a window of its own, whether Pindle may have these shortcuts: choose Add there. Change them later in GNOME Settings, Keyboard, Keyboard Shortcuts.</source>
        <extracomment>&quot;Add&quot; is the button in GNOME&apos;s own window; the rest names GNOME Settings&apos; pages</extracomment>
        <translation>GNOME demande une seule fois, dans sa propre fenêtre, si Pindle peut utiliser ces raccourcis&#x202f;: choisissez Ajouter. Vous pourrez les modifier plus tard dans les Paramètres de GNOME, Clavier, Raccourcis clavier.</translation>
    </message>
    <message>
        <source>The desktop refused Pindle&apos;s keyboard shortcuts.</source>
        <translation>Le bureau a refusé les raccourcis clavier de Pindle.</translation>
    </message>
    <message>
        <source>The desktop portal answered without a session.</source>
        <translation>Le portail du bureau a répondu sans session.</translation>
    </message>
    <message>
        <source>The desktop portal did not list Pindle&apos;s shortcuts.</source>
        <translation>Le portail du bureau n’a pas renvoyé la liste des raccourcis de Pindle.</translation>
    </message>
</context>
<context>
    <name>PortalRequest</name>
    <message>
        <source>There is no D-Bus session, through which the desktop portal is reached.</source>
        <translation>Aucune session D-Bus n’est disponible&#x202f;; elle est nécessaire pour joindre le portail du bureau.</translation>
    </message>
    <message>
        <source>No desktop portal is running. Install xdg-desktop-portal with the backend for your desktop (-gnome, -kde or -wlr).</source>
        <extracomment>-gnome, -kde and -wlr complete the package name</extracomment>
        <translation>Aucun portail du bureau n’est en cours d’exécution. Installez xdg-desktop-portal avec le paquet propre à votre bureau (-gnome, -kde ou -wlr).</translation>
    </message>
    <message>
        <source>The desktop portal did not answer.</source>
        <translation>Le portail du bureau n’a pas répondu.</translation>
    </message>
    <message>
        <source>The desktop portal refused: %1</source>
        <extracomment>%1 is the portal&apos;s own explanation (untranslated)</extracomment>
        <translation>Le portail du bureau a refusé&#x202f;: %1</translation>
    </message>
</context>
<context>
    <name>PortalScreenshot</name>
    <message>
        <source>This desktop&apos;s portal does not offer screenshots.</source>
        <translation>Le portail de ce bureau ne permet pas les captures d’écran.</translation>
    </message>
    <message>
        <source>The screenshot was cancelled.</source>
        <translation>La capture d’écran a été annulée.</translation>
    </message>
    <message>
        <source>The desktop refused to take a screenshot. Allow Pindle to take screenshots in your desktop&apos;s privacy settings (GNOME: Settings, Apps, Pindle; KDE: System Settings, Application Permissions) and try again.</source>
        <extracomment>The parts after &quot;GNOME:&quot; and &quot;KDE:&quot; name pages of those desktops&apos; settings</extracomment>
        <translation>Le bureau a refusé de faire une capture d’écran. Autorisez Pindle à faire des captures d’écran dans les paramètres de confidentialité de votre bureau (GNOME&#x202f;: Paramètres, Applications, Pindle&#x202f;; KDE&#x202f;: Configuration du système, Autorisations des applications), puis réessayez.</translation>
    </message>
    <message>
        <source>The desktop&apos;s screenshot could not be read (%1).</source>
        <extracomment>%1 is the address of the picture the desktop saved</extracomment>
        <translation>La capture d’écran du bureau n’a pas pu être lue (%1).</translation>
    </message>
</context>
<context>
    <name>PulseRecordingSession</name>
    <message>
        <source>No microphone was found.</source>
        <translation>Aucun micro n’a été trouvé.</translation>
    </message>
    <message>
        <source>No sound output device was found, so the computer&apos;s audio cannot be recorded.</source>
        <translation>Aucun périphérique de sortie audio n’a été trouvé&#x202f;: impossible d’enregistrer le son de l’ordinateur.</translation>
    </message>
    <message>
        <source>The sound server stopped answering: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>Le serveur de son ne répond plus&#x202f;: %1.</translation>
    </message>
    <message>
        <source>The sound system could not be started.</source>
        <translation>Le système audio n’a pas pu être démarré.</translation>
    </message>
    <message>
        <source>The sound server refused the connection: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>Le serveur de son a refusé la connexion&#x202f;: %1.</translation>
    </message>
    <message>
        <source>No sound server is running (PulseAudio or PipeWire).</source>
        <translation>Aucun serveur de son n’est en cours d’exécution (PulseAudio ou PipeWire).</translation>
    </message>
    <message>
        <source>Microphone recording</source>
        <translation>Enregistrement du micro</translation>
    </message>
    <message>
        <source>System audio recording</source>
        <translation>Enregistrement du son de l’ordinateur</translation>
    </message>
    <message>
        <source>The sound server refused to record: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>Le serveur de son a refusé d’enregistrer&#x202f;: %1.</translation>
    </message>
</context>
<context>
    <name>RecordingControls</name>
    <message>
        <source>The recording stopped before it could be saved.</source>
        <translation>L’enregistrement s’est arrêté avant d’avoir pu être sauvegardé.</translation>
    </message>
</context>
<context>
    <name>ReplyWatcher</name>
    <message>
        <source>The server&apos;s reply is larger than %1 MiB.</source>
        <extracomment>%1 is the largest reply accepted, in mebibytes</extracomment>
        <translation>La réponse du serveur dépasse %1 Mio.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>Le délai de la requête a expiré.</translation>
    </message>
</context>
<context>
    <name>ScreenCaptureService</name>
    <message>
        <source>No display found for screen capture</source>
        <translation>Aucun affichage trouvé pour la capture d’écran</translation>
    </message>
    <message>
        <source>Failed to encode screenshot as JPEG</source>
        <translation>Impossible d’encoder la capture d’écran en JPEG</translation>
    </message>
</context>
<context>
    <name>SettingsController</name>
    <message>
        <source>Loading...</source>
        <extracomment>Shown in the settings window&apos;s account rows while the account is being fetched</extracomment>
        <translation>Chargement...</translation>
    </message>
    <message>
        <source>...</source>
        <extracomment>Shown in place of the subscription status while the account is being fetched</extracomment>
        <translation>...</translation>
    </message>
    <message>
        <source>%1%</source>
        <extracomment>The overlay&apos;s opacity in the settings window; %1 is a whole number of percent</extracomment>
        <translation>%1&#x202f;%</translation>
    </message>
    <message>
        <source>Active</source>
        <extracomment>Subscription status in the settings window&apos;s account rows</extracomment>
        <translation>Actif</translation>
    </message>
    <message>
        <source>Not signed in</source>
        <extracomment>Shown in the settings window&apos;s account rows in place of the e-mail address</extracomment>
        <translation>Non connecté</translation>
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
        <translation>Modèle phare actuel de la famille GPT-5, pour le raisonnement complexe et la programmation.</translation>
    </message>
    <message>
        <source>High-capability GPT-5 family model with lower cost than GPT-5.5.</source>
        <translation>Modèle très performant de la famille GPT-5, moins coûteux que GPT-5.5.</translation>
    </message>
    <message>
        <source>Faster, cheaper GPT-5 family model for everyday work.</source>
        <translation>Modèle de la famille GPT-5 plus rapide et moins cher, pour le travail quotidien.</translation>
    </message>
    <message>
        <source>Best overall for quality, coding, and instruction following.</source>
        <translation>Le meilleur choix global pour la qualité, la programmation et le respect des consignes.</translation>
    </message>
    <message>
        <source>Best for deep reasoning and harder multi-step tasks.</source>
        <translation>Idéal pour le raisonnement approfondi et les tâches complexes en plusieurs étapes.</translation>
    </message>
    <message>
        <source>Strong reasoning with lower cost and faster responses.</source>
        <translation>Raisonnement solide, à moindre coût et avec des réponses plus rapides.</translation>
    </message>
    <message>
        <source>Reliable multimodal general-purpose model for text, images, and voice.</source>
        <translation>Modèle polyvalent et multimodal fiable pour le texte, les images et la voix.</translation>
    </message>
    <message>
        <source>Balanced speed and quality for everyday use.</source>
        <translation>Bon équilibre entre vitesse et qualité pour un usage quotidien.</translation>
    </message>
    <message>
        <source>Fast and inexpensive for lightweight prompts.</source>
        <translation>Rapide et économique pour les requêtes simples.</translation>
    </message>
    <message>
        <source>Compact reasoning model for quick analytical tasks.</source>
        <translation>Modèle de raisonnement compact pour les tâches d’analyse rapides.</translation>
    </message>
    <message>
        <source>Smallest, fastest option for simple low-latency requests.</source>
        <translation>L’option la plus légère et la plus rapide, pour les requêtes simples à faible latence.</translation>
    </message>
    <message>
        <source>Older high-capability GPT-4 generation kept for compatibility.</source>
        <translation>Ancienne génération GPT-4 très performante, conservée pour la compatibilité.</translation>
    </message>
    <message>
        <source>Legacy GPT-4 model kept for older workflows.</source>
        <translation>Ancien modèle GPT-4 conservé pour les flux de travail existants.</translation>
    </message>
    <message>
        <source>Legacy budget model kept for backward compatibility.</source>
        <translation>Ancien modèle économique conservé pour la rétrocompatibilité.</translation>
    </message>
    <message>
        <source>Previously saved custom model.</source>
        <extracomment>Description of a model id the user saved that no list names</extracomment>
        <translation>Modèle personnalisé enregistré précédemment.</translation>
    </message>
    <message>
        <source>%1 (not offered)</source>
        <extracomment>Model picker entry; %1 is the model&apos;s id</extracomment>
        <translation>%1 (non proposé)</translation>
    </message>
    <message>
        <source>This server no longer offers this model; %1 is used instead.</source>
        <extracomment>%1 is the name of the model used in its place</extracomment>
        <translation>Ce serveur ne propose plus ce modèle&#x202f;; %1 est utilisé à la place.</translation>
    </message>
    <message>
        <source>it is too large</source>
        <extracomment>Why the settings file could not be read; completes &quot;could not be read (...)&quot;</extracomment>
        <translation>le fichier est trop volumineux</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <extracomment>Why the settings file could not be read; completes &quot;could not be read (...)&quot;</extracomment>
        <translation>le fichier n’est pas un objet JSON</translation>
    </message>
    <message>
        <source>Your settings could not be read (%1). They were kept as %2 and the defaults are in use.</source>
        <extracomment>%1 is why the file could not be read, %2 the path it was moved to</extracomment>
        <translation>Vos paramètres n’ont pas pu être lus (%1). Ils ont été conservés sous %2 et les valeurs par défaut sont utilisées.</translation>
    </message>
    <message>
        <source>Your settings at %1 could not be read (%2). The defaults are in use and changes will not be saved, so the file stays as it is.</source>
        <extracomment>%1 is the settings file&apos;s path, %2 why it could not be read</extracomment>
        <translation>Vos paramètres enregistrés dans %1 n’ont pas pu être lus (%2). Les valeurs par défaut sont utilisées et les modifications ne seront pas enregistrées&#x202f;: le fichier reste tel quel.</translation>
    </message>
    <message>
        <source>Your settings could not be saved: they are larger than 1 MiB.</source>
        <translation>Vos paramètres n’ont pas pu être enregistrés&#x202f;: ils dépassent 1 Mio.</translation>
    </message>
    <message>
        <source>Your settings could not be saved: %1</source>
        <extracomment>%1 is the system&apos;s description of the failure</extracomment>
        <translation>Vos paramètres n’ont pas pu être enregistrés&#x202f;: %1</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Add Pindle&apos;s shortcuts to GNOME?</source>
        <extracomment>Dialog title</extracomment>
        <translation>Ajouter les raccourcis de Pindle à GNOME&#x202f;?</translation>
    </message>
    <message>
        <source>GNOME&apos;s keyboard settings get a custom shortcut for each of these, but for combinations GNOME already uses. You can change or remove them there later.</source>
        <translation>Les paramètres de clavier de GNOME recevront un raccourci personnalisé pour chacun d’eux, sauf pour les combinaisons que GNOME utilise déjà. Vous pourrez les y modifier ou les supprimer plus tard.</translation>
    </message>
    <message>
        <source>Account</source>
        <extracomment>Section title</extracomment>
        <translation>Compte</translation>
    </message>
    <message>
        <source>Email:</source>
        <extracomment>Label before the signed-in e-mail address</extracomment>
        <translation>E-mail&#x202f;:</translation>
    </message>
    <message>
        <source>Subscription:</source>
        <extracomment>Label before the subscription state</extracomment>
        <translation>Abonnement&#x202f;:</translation>
    </message>
    <message>
        <source>Tokens left:</source>
        <extracomment>Label before the number of tokens the account has left</extracomment>
        <translation>Jetons restants&#x202f;:</translation>
    </message>
    <message>
        <source>Model</source>
        <extracomment>Section title and name of the picker: the AI model that answers</extracomment>
        <translation>Modèle</translation>
    </message>
    <message>
        <source>Start Pindle at login</source>
        <translation>Lancer Pindle au démarrage</translation>
    </message>
    <message>
        <source>Overlay Opacity</source>
        <extracomment>Section title</extracomment>
        <translation>Opacité de la fenêtre</translation>
    </message>
    <message>
        <source>Assistant Category</source>
        <extracomment>Section title</extracomment>
        <translation>Catégorie d’assistance</translation>
    </message>
    <message>
        <source>System Prompt</source>
        <extracomment>Section title: the user&apos;s own instruction sent to the AI</extracomment>
        <translation>Instructions système</translation>
    </message>
    <message>
        <source>Sent with every question, after the server&apos;s instruction for the category.</source>
        <translation>Envoyées avec chaque question, après les instructions du serveur pour la catégorie.</translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <extracomment>Section title</extracomment>
        <translation>Raccourcis clavier</translation>
    </message>
    <message>
        <source>Press keys…</source>
        <extracomment>On the shortcut button while it waits for the new key combination; keep it short</extracomment>
        <translation>Appuyez…</translation>
    </message>
    <message>
        <source>Click, then press the new shortcut</source>
        <translation>Cliquez, puis appuyez sur le nouveau raccourci</translation>
    </message>
    <message>
        <source>Reset</source>
        <extracomment>Button that restores a shortcut&apos;s default key combination</extracomment>
        <translation>Rétablir</translation>
    </message>
    <message>
        <source>Click a shortcut, then press the keys you want (Escape cancels).</source>
        <translation>Cliquez sur un raccourci, puis appuyez sur les touches voulues (Échap pour annuler).</translation>
    </message>
    <message>
        <source>Add to GNOME&apos;s Keyboard Shortcuts…</source>
        <extracomment>Button</extracomment>
        <translation>Ajouter aux raccourcis clavier de GNOME…</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <extracomment>Read by screen readers on a shortcut button in the settings: %1 is the action, e.g. Toggle overlay visibility, %2 its key combination (e.g. Alt+H) or &quot;Press keys…&quot; while it waits for one</extracomment>
        <translation>%1&#x202f;: %2</translation>
    </message>
</context>
<context>
    <name>ShortcutActions</name>
    <message>
        <source>Toggle Overlay</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Afficher/masquer</translation>
    </message>
    <message>
        <source>Toggle overlay visibility</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Afficher ou masquer la fenêtre flottante</translation>
    </message>
    <message>
        <source>Capture Screen</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Capturer l’écran</translation>
    </message>
    <message>
        <source>Screenshot &amp; analyze</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Capturer et analyser l’écran</translation>
    </message>
    <message>
        <source>Type Mode</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Mode saisie</translation>
    </message>
    <message>
        <source>Toggle typing mode</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Activer ou désactiver le mode saisie</translation>
    </message>
</context>
<context>
    <name>ShortcutController</name>
    <message>
        <source>another program</source>
        <extracomment>Who holds a key combination when it is not known (&quot;Alt+S is already used by ...&quot;)</extracomment>
        <translation>un autre programme</translation>
    </message>
    <message>
        <source>%1 for “%2”</source>
        <extracomment>Who holds a key combination: %1 is a program or the desktop, %2 what it does with it</extracomment>
        <translation>%1 pour «&#x202f;%2&#x202f;»</translation>
    </message>
    <message>
        <source>%1 is already used by %2, so %3 has no shortcut there: choose another combination above, then add again.</source>
        <extracomment>%1 is a key combination, %2 who holds it, %3 the action&apos;s name (“Capture Screen”)</extracomment>
        <translation>%1 est déjà utilisé par %2&#x202f;: aucun raccourci n’y est donc ajouté pour «&#x202f;%3&#x202f;». Choisissez une autre combinaison ci-dessus, puis relancez l’ajout.</translation>
    </message>
    <message>
        <source>Pindle: %1</source>
        <extracomment>Name of a shortcut in the desktop&apos;s keyboard settings; %1 is the action&apos;s name</extracomment>
        <translation>Pindle&#x202f;: %1</translation>
    </message>
    <message>
        <source>Added to the desktop&apos;s keyboard shortcuts: %1.</source>
        <extracomment>%1 lists the key combinations added, separated by commas</extracomment>
        <translation>Ajout aux raccourcis clavier du bureau&#x202f;: %1.</translation>
    </message>
    <message>
        <source>The shortcuts could not be added: %1</source>
        <extracomment>%1 is why, in the desktop&apos;s words</extracomment>
        <translation>Les raccourcis n’ont pas pu être ajoutés&#x202f;: %1</translation>
    </message>
    <message>
        <source>No global shortcuts</source>
        <extracomment>Title of a desktop notification</extracomment>
        <translation>Aucun raccourci global</translation>
    </message>
    <message>
        <source>%1 is already used by %2, so %3 has no shortcut.</source>
        <extracomment>%1 is a key combination, %2 who holds it, %3 the action&apos;s name (“Capture Screen”)</extracomment>
        <translation>%1 est déjà utilisé par %2&#x202f;: «&#x202f;%3&#x202f;» n’a donc pas de raccourci.</translation>
    </message>
    <message>
        <source>Choose another under Keyboard Shortcuts in Pindle&apos;s Settings.</source>
        <translation>Choisissez une autre combinaison dans les paramètres de Pindle, section Raccourcis clavier.</translation>
    </message>
    <message>
        <source>Already used by %1.</source>
        <extracomment>Why a shortcut does nothing; %1 is who holds its combination</extracomment>
        <translation>Déjà utilisé par %1.</translation>
    </message>
    <message>
        <source>Waiting for the desktop to take it.</source>
        <extracomment>Why a shortcut does not work yet, under it in the settings window</extracomment>
        <translation>En attente de sa prise en compte par le bureau.</translation>
    </message>
    <message>
        <source>The desktop has %1 for it instead: change that in the desktop&apos;s keyboard settings.</source>
        <extracomment>%1 is the key combination the desktop gave the action</extracomment>
        <translation>Le bureau lui a attribué %1 à la place&#x202f;: modifiez-le dans les paramètres de clavier du bureau.</translation>
    </message>
    <message>
        <source>A shortcut needs Ctrl, Alt or Super.</source>
        <translation>Un raccourci doit comporter Ctrl, Alt ou Super.</translation>
    </message>
    <message>
        <source>%1 is already the shortcut for %2.</source>
        <extracomment>%1 is a key combination, %2 the name of the action that has it</extracomment>
        <translation>%1 est déjà le raccourci de «&#x202f;%2&#x202f;».</translation>
    </message>
    <message>
        <source>%1 is used by %2.</source>
        <extracomment>%1 is a key combination, %2 who holds it (a program, or the desktop for an action)</extracomment>
        <translation>%1 est utilisé par %2.</translation>
    </message>
    <message>
        <source>That key cannot be part of a shortcut.</source>
        <translation>Cette touche ne peut pas faire partie d’un raccourci.</translation>
    </message>
    <message numerus="yes">
        <source>Shortcut(s) unavailable</source>
        <extracomment>Title of a desktop notification with a line for each shortcut; %n is how many</extracomment>
        <translation>
            <numerusform>Raccourci indisponible</numerusform>
            <numerusform>Raccourcis indisponibles</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StartAtLogin</name>
    <message>
        <source>Pindle could not remove %1: %2</source>
        <extracomment>%1 is the login entry&apos;s path, %2 the system&apos;s description of the failure</extracomment>
        <translation>Pindle n’a pas pu supprimer %1&#x202f;: %2</translation>
    </message>
    <message>
        <source>Pindle could not create the folder %1.</source>
        <extracomment>%1 is a folder&apos;s path</extracomment>
        <translation>Pindle n’a pas pu créer le dossier %1.</translation>
    </message>
    <message>
        <source>Pindle cannot start at login from %1: a login entry cannot hold a path with a line break or another control character. Move Pindle to another folder.</source>
        <extracomment>%1 is the path of Pindle&apos;s program file</extracomment>
        <translation>Pindle ne peut pas être lancé au démarrage depuis %1&#x202f;: une entrée de démarrage ne peut pas contenir de chemin comportant un saut de ligne ou un autre caractère de contrôle. Déplacez Pindle dans un autre dossier.</translation>
    </message>
    <message>
        <source>Pindle could not write %1: %2</source>
        <extracomment>%1 is the login entry&apos;s path, %2 the system&apos;s description of the failure</extracomment>
        <translation>Pindle n’a pas pu écrire %1&#x202f;: %2</translation>
    </message>
</context>
<context>
    <name>TokenStore</name>
    <message>
        <source>Pindle closed while reading the keychain.</source>
        <translation>Pindle a été fermé pendant la lecture du trousseau.</translation>
    </message>
</context>
<context>
    <name>WaylandStepAsideGrabber</name>
    <message>
        <source>The desktop did not hand over the picture of the screen. Try again.</source>
        <translation>Le bureau n’a pas fourni l’image de l’écran. Réessayez.</translation>
    </message>
</context>
<context>
    <name>X11StepAsideGrabber</name>
    <message>
        <source>The display did not hand over the picture of the screen. Try again.</source>
        <translation>Le serveur d’affichage n’a pas fourni l’image de l’écran. Réessayez.</translation>
    </message>
</context>
</TS>
