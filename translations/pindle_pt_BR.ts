<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>AacFileWriter</name>
    <message>
        <source>The recording could not be written to %1: %2.</source>
        <extracomment>%1 is the file&apos;s path, %2 FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>Não foi possível salvar a gravação em %1: %2.</translation>
    </message>
    <message>
        <source>The audio encoder could not prepare the file: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>O codificador de áudio não conseguiu preparar o arquivo: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not find the AAC encoder: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>O codificador de áudio não encontrou o codificador AAC: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not start: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>O codificador de áudio não conseguiu iniciar: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not convert the samples: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>O codificador de áudio não conseguiu converter as amostras: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not buffer the samples: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>O codificador de áudio não conseguiu armazenar as amostras em buffer: %1.</translation>
    </message>
    <message>
        <source>The audio encoder could not encode: %1.</source>
        <extracomment>%1 is FFmpeg&apos;s explanation (untranslated)</extracomment>
        <translation>O codificador de áudio não conseguiu codificar: %1.</translation>
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
        <translation>Abrir configurações</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <extracomment>Menu item: %1 is the action&apos;s name, %2 its shortcut (&quot;Capture Screen (Alt+S)&quot;)</extracomment>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>Settings…</source>
        <extracomment>Menu item</extracomment>
        <translation>Configurações…</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <extracomment>Menu item</extracomment>
        <translation>Sair da conta</translation>
    </message>
    <message>
        <source>Quit Pindle</source>
        <extracomment>Menu item</extracomment>
        <translation>Sair do Pindle</translation>
    </message>
    <message>
        <source>Press %1 to show Pindle. </source>
        <extracomment>Sentence in a desktop notification, ending in a space; %1 is a shortcut (&quot;Alt+Space&quot;)</extracomment>
        <translation>Pressione %1 para mostrar o Pindle. </translation>
    </message>
    <message>
        <source>Pindle is running</source>
        <extracomment>Title of a desktop notification</extracomment>
        <translation>O Pindle está em execução</translation>
    </message>
    <message>
        <source>This desktop shows no tray icons, so Pindle has none. %1Starting Pindle again shows it. The menu button in its header has Settings and Quit.</source>
        <extracomment>Desktop notification; %1 is empty, or the sentence &quot;Press &lt;shortcut&gt; to show Pindle. &quot;</extracomment>
        <translation>Esta área de trabalho não exibe ícones na bandeja do sistema, então o Pindle fica sem ícone. %1Abrir o Pindle novamente faz com que ele apareça. O botão de menu no cabeçalho da janela tem as opções Configurações e Sair do Pindle.</translation>
    </message>
    <message>
        <source>Show Pindle</source>
        <extracomment>Button on a desktop notification</extracomment>
        <translation>Mostrar o Pindle</translation>
    </message>
    <message>
        <source>Pindle — Sign In</source>
        <extracomment>Window title</extracomment>
        <translation>Pindle — Entrar</translation>
    </message>
    <message>
        <source>Pindle Settings</source>
        <extracomment>Window title</extracomment>
        <translation>Configurações do Pindle</translation>
    </message>
</context>
<context>
    <name>AssistantCategory</name>
    <message>
        <source>Exams &amp; Study</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Provas e estudos</translation>
    </message>
    <message>
        <source>Exam prep, study help, and academic questions.</source>
        <translation>Preparação para provas, ajuda nos estudos e dúvidas acadêmicas.</translation>
    </message>
    <message>
        <source>Coding Help</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Programação</translation>
    </message>
    <message>
        <source>Programming, debugging, and code explanations.</source>
        <translation>Programação, depuração e explicações de código.</translation>
    </message>
    <message>
        <source>Productivity</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Produtividade</translation>
    </message>
    <message>
        <source>Productivity tips, organization, and workflow.</source>
        <translation>Dicas de produtividade, organização e fluxo de trabalho.</translation>
    </message>
    <message>
        <source>Writing &amp; Content</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Escrita e conteúdo</translation>
    </message>
    <message>
        <source>Writing, editing, and content creation.</source>
        <translation>Escrita, edição e criação de conteúdo.</translation>
    </message>
    <message>
        <source>General Q&amp;A</source>
        <extracomment>A kind of help, chosen in the settings window&apos;s category picker</extracomment>
        <translation>Perguntas gerais</translation>
    </message>
    <message>
        <source>General questions and answers.</source>
        <translation>Perguntas e respostas gerais.</translation>
    </message>
</context>
<context>
    <name>AudioCaptureModule</name>
    <message>
        <source>Pindle&apos;s sound recording module (%1) is not installed.</source>
        <translation>O módulo de gravação de som do Pindle (%1) não está instalado.</translation>
    </message>
    <message>
        <source>Pindle&apos;s sound recording module could not be loaded: %1</source>
        <translation>Não foi possível carregar o módulo de gravação de som do Pindle: %1</translation>
    </message>
</context>
<context>
    <name>AudioRecorder</name>
    <message>
        <source>The temporary folder %1 does not exist.</source>
        <extracomment>%1 is the folder&apos;s path</extracomment>
        <translation>A pasta temporária %1 não existe.</translation>
    </message>
</context>
<context>
    <name>AuthService</name>
    <message>
        <source>The server&apos;s reply is not a JSON object.</source>
        <translation>A resposta do servidor não é um objeto JSON.</translation>
    </message>
    <message>
        <source>The server&apos;s reply does not describe a user.</source>
        <translation>A resposta do servidor não descreve um usuário.</translation>
    </message>
    <message>
        <source>The server&apos;s reply has no sign-in token.</source>
        <translation>A resposta do servidor não contém um token de acesso.</translation>
    </message>
    <message>
        <source>Signed out while signing in.</source>
        <translation>Você saiu da conta antes de terminar de entrar.</translation>
    </message>
    <message>
        <source>Signed out while the session was being checked.</source>
        <translation>Você saiu da conta enquanto a sessão estava sendo verificada.</translation>
    </message>
</context>
<context>
    <name>BackendConfig</name>
    <message>
        <source>Refusing to send your sign-in over an unencrypted connection to %1. Pindle&apos;s backend address must start with https://.</source>
        <extracomment>%1 is the backend&apos;s host name or address</extracomment>
        <translation>O Pindle se recusa a enviar seus dados de acesso por uma conexão sem criptografia para %1. O endereço do servidor do Pindle deve começar com https://.</translation>
    </message>
</context>
<context>
    <name>BackendTexts</name>
    <message>
        <source>Not logged in. Please sign in to use Pindle.</source>
        <extracomment>Shown in the chat when a question is asked without a session</extracomment>
        <translation>Você não está conectado. Entre na sua conta para usar o Pindle.</translation>
    </message>
    <message>
        <source>Not logged in</source>
        <extracomment>Shown when the session is checked without a session</extracomment>
        <translation>Não conectado</translation>
    </message>
    <message>
        <source>The stored sign-in is damaged. Please sign in again.</source>
        <translation>Os dados de acesso salvos estão corrompidos. Entre novamente.</translation>
    </message>
    <message>
        <source>Invalid response from server</source>
        <extracomment>The server&apos;s answer is not an HTTP response at all</extracomment>
        <translation>Resposta inválida do servidor</translation>
    </message>
    <message>
        <source>Session expired. Please sign in again.</source>
        <translation>A sessão expirou. Entre novamente.</translation>
    </message>
    <message>
        <source>Session expired. Please log in again.</source>
        <translation>A sessão expirou. Entre novamente.</translation>
    </message>
    <message>
        <source>Token balance exhausted or access denied. Buy tokens or subscribe on %1.</source>
        <extracomment>%1 is the website&apos;s domain name, e.g. pindle.app</extracomment>
        <translation>Saldo de tokens esgotado ou acesso negado. Compre tokens ou faça uma assinatura em %1.</translation>
    </message>
    <message>
        <source>Server error (%1): %2</source>
        <extracomment>%1 is the HTTP status code, %2 the server&apos;s own message (untranslated)</extracomment>
        <translation>Erro do servidor (%1): %2</translation>
    </message>
    <message>
        <source>API error: %1</source>
        <extracomment>%1 is the server&apos;s own error message (untranslated)</extracomment>
        <translation>Erro da API: %1</translation>
    </message>
    <message>
        <source>Login failed (HTTP %1)</source>
        <extracomment>%1 is the HTTP status code</extracomment>
        <translation>Falha ao entrar (HTTP %1)</translation>
    </message>
    <message>
        <source>Verification failed (HTTP %1)</source>
        <extracomment>Checking the stored session failed; %1 is the HTTP status code</extracomment>
        <translation>Falha na verificação (HTTP %1)</translation>
    </message>
    <message>
        <source>Failed to transcribe audio</source>
        <translation>Falha ao transcrever o áudio</translation>
    </message>
    <message>
        <source>The server&apos;s reply is not valid JSON (%1).</source>
        <extracomment>%1 is the JSON parser&apos;s description of the fault (from Qt)</extracomment>
        <translation>A resposta do servidor não é um JSON válido (%1).</translation>
    </message>
</context>
<context>
    <name>ChatClient</name>
    <message>
        <source>None of the models this server offers can read pictures, so the screen cannot be asked about.</source>
        <translation>Nenhum dos modelos oferecidos por este servidor consegue ler imagens, então não é possível fazer perguntas sobre a tela.</translation>
    </message>
    <message>
        <source>The system prompt is longer than 16 KiB. Shorten it in Settings.</source>
        <translation>As instruções do sistema têm mais de 16 KiB. Encurte-as nas Configurações.</translation>
    </message>
    <message>
        <source>The server&apos;s answer went on past 32 MiB; it was stopped.</source>
        <translation>A resposta do servidor passou de 32 MiB e foi interrompida.</translation>
    </message>
    <message>
        <source>The server sent a reply line longer than 1 MiB; the answer was stopped.</source>
        <translation>O servidor enviou uma linha de resposta com mais de 1 MiB; a resposta foi interrompida.</translation>
    </message>
    <message>
        <source>Unknown error</source>
        <extracomment>Follows &quot;API error: &quot; when the server&apos;s error message cannot be read</extracomment>
        <translation>Erro desconhecido</translation>
    </message>
    <message>
        <source>Failed to parse API response</source>
        <translation>Falha ao interpretar a resposta da API</translation>
    </message>
</context>
<context>
    <name>ChatViewModel</name>
    <message>
        <source>Screen capture failed: %1</source>
        <extracomment>Error line above the conversation; %1 is why, in the capture service&apos;s words</extracomment>
        <translation>Falha na captura de tela: %1</translation>
    </message>
    <message>
        <source>Audio transcription failed: %1</source>
        <extracomment>Error line above the conversation; %1 is why, in the transcription service&apos;s words</extracomment>
        <translation>Falha na transcrição do áudio: %1</translation>
    </message>
</context>
<context>
    <name>DesktopIntegration</name>
    <message>
        <source>This Pindle was built without sound recording (PulseAudio or FFmpeg was missing when it was built).</source>
        <translation>Esta versão do Pindle foi compilada sem gravação de som (o PulseAudio ou o FFmpeg não estava disponível na compilação).</translation>
    </message>
    <message>
        <source>Screen capture needs an X11 session, and Pindle is running on &quot;%1&quot;.</source>
        <extracomment>%1 is the name of Qt&apos;s display platform (e.g. wayland, offscreen)</extracomment>
        <translation>A captura de tela requer uma sessão X11, e o Pindle está sendo executado em “%1”.</translation>
    </message>
    <message>
        <source>Global hotkeys need an X11 session.</source>
        <translation>Os atalhos globais requerem uma sessão X11.</translation>
    </message>
</context>
<context>
    <name>DesktopShortcuts</name>
    <message>
        <source>This desktop&apos;s shortcuts cannot be set from Pindle.</source>
        <translation>Os atalhos desta área de trabalho não podem ser definidos pelo Pindle.</translation>
    </message>
</context>
<context>
    <name>EmptyState</name>
    <message>
        <source>Invisible AI Assistant</source>
        <extracomment>Headline of the empty conversation</extracomment>
        <translation>Assistente de IA invisível</translation>
    </message>
    <message>
        <source>Screenshot</source>
        <extracomment>Short name of the action that captures the screen</extracomment>
        <translation>Captura</translation>
    </message>
    <message>
        <source>Type</source>
        <extracomment>Short name of the action that switches to typing mode</extracomment>
        <translation>Digitar</translation>
    </message>
    <message>
        <source>Toggle</source>
        <extracomment>Short name of the action that shows or hides the overlay</extracomment>
        <translation>Ocultar</translation>
    </message>
    <message>
        <source>Hide it with %1 before you share.</source>
        <extracomment>%1 is the key combination that hides the overlay, e.g. Alt+H</extracomment>
        <translation>Oculte-a com %1 antes de compartilhar a tela.</translation>
    </message>
    <message>
        <source>Hide it before you share.</source>
        <translation>Oculte-a antes de compartilhar a tela.</translation>
    </message>
    <message>
        <source>Ask anything — this window is hidden
from screen recordings &amp; video calls.</source>
        <translation>Pergunte o que quiser — esta janela fica
oculta em gravações de tela e videochamadas.</translation>
    </message>
    <message>
        <source>Ask anything — this window never takes focus.</source>
        <translation>Pergunte o que quiser — esta janela nunca recebe o foco.</translation>
    </message>
</context>
<context>
    <name>ErrorBanner</name>
    <message>
        <source>Dismiss</source>
        <extracomment>Link that closes the error banner</extracomment>
        <translation>Fechar</translation>
    </message>
</context>
<context>
    <name>GnomeShortcuts</name>
    <message>
        <source>gsettings could not be started: %1</source>
        <extracomment>gsettings is a program&apos;s name; %1 is the system&apos;s explanation</extracomment>
        <translation>Não foi possível iniciar o gsettings: %1</translation>
    </message>
    <message>
        <source>gsettings failed: %1</source>
        <extracomment>gsettings is a program&apos;s name; %1 is what it printed (untranslated)</extracomment>
        <translation>O gsettings falhou: %1</translation>
    </message>
</context>
<context>
    <name>HeaderBar</name>
    <message>
        <source>Typing · Enter to send</source>
        <extracomment>Mode hint in the header while the overlay takes the keyboard; keep it short</extracomment>
        <translation>Digitando · Enter envia</translation>
    </message>
    <message>
        <source>Stealth · %1 to type</source>
        <extracomment>Mode hint in the header; %1 is the key combination that switches to typing, e.g. Alt+T</extracomment>
        <translation>Discreto · %1 para digitar</translation>
    </message>
    <message>
        <source>Stealth</source>
        <extracomment>Mode hint in the header: the overlay never takes the keyboard</extracomment>
        <translation>Discreto</translation>
    </message>
    <message>
        <source>Clear chat</source>
        <translation>Limpar conversa</translation>
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
        <translation>Capturar tela (%1)</translation>
    </message>
    <message>
        <source>Capture screen</source>
        <translation>Capturar tela</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <extracomment>Tooltips of the microphone button</extracomment>
        <translation>Parar gravação</translation>
    </message>
    <message>
        <source>Record Audio</source>
        <translation>Gravar áudio</translation>
    </message>
    <message>
        <source>Stop System Audio Recording</source>
        <translation>Parar gravação do som do sistema</translation>
    </message>
    <message>
        <source>Record System Audio</source>
        <translation>Gravar som do sistema</translation>
    </message>
    <message>
        <source>Ask anything…</source>
        <extracomment>Placeholder of the question field</extracomment>
        <translation>Pergunte o que quiser…</translation>
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
        <translation>Cadastre-se em %1</translation>
    </message>
</context>
<context>
    <name>LoginView</name>
    <message>
        <source>Sign in to your account</source>
        <translation>Entre na sua conta</translation>
    </message>
    <message>
        <source>Email</source>
        <extracomment>Placeholder of the e-mail address field</extracomment>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Senha</translation>
    </message>
    <message>
        <source>Sign In</source>
        <extracomment>Button</extracomment>
        <translation>Entrar</translation>
    </message>
    <message>
        <source>Don&apos;t have an account?</source>
        <extracomment>Above the sign-up link</extracomment>
        <translation>Não tem uma conta?</translation>
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
        <translation>Você: %1 (com uma captura de tela)</translation>
    </message>
    <message>
        <source>You: %1</source>
        <extracomment>Read by screen readers for the user&apos;s message; %1 is its text</extracomment>
        <translation>Você: %1</translation>
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
        <translation>Dispositivo de som não encontrado</translation>
    </message>
    <message>
        <source>To record system audio, Pindle records the monitor source of your output device. Please make sure your sound server (PipeWire or PulseAudio) has an output device with a monitor source, and set it as your output device in your sound settings.</source>
        <translation>Para gravar o som do sistema, o Pindle grava a fonte de monitoramento do seu dispositivo de saída. Verifique se o seu servidor de som (PipeWire ou PulseAudio) tem um dispositivo de saída com fonte de monitoramento e defina-o como dispositivo de saída nas configurações de som.</translation>
    </message>
    <message>
        <source>Conversation</source>
        <extracomment>Read by screen readers: name of the overlay&apos;s list of questions and answers</extracomment>
        <translation>Conversa</translation>
    </message>
</context>
<context>
    <name>PortalGlobalHotkeys</name>
    <message>
        <source>This desktop does not let applications take keyboard shortcuts. In its keyboard settings, add custom shortcuts for the commands pindle --toggle-overlay, pindle --capture-screen and pindle --type-mode.</source>
        <translation>Esta área de trabalho não permite que aplicativos definam atalhos de teclado. Nas configurações de teclado dela, adicione atalhos personalizados para os comandos pindle --toggle-overlay, pindle --capture-screen e pindle --type-mode.</translation>
    </message>
    <message>
        <source>GNOME asks once, in a window of its own, whether Pindle may have these shortcuts: choose Add there. Change them later in GNOME Settings, Keyboard, Keyboard Shortcuts.</source>
        <extracomment>&quot;Add&quot; is the button in GNOME&apos;s own window; the rest names GNOME Settings&apos; pages</extracomment>
        <translation>O GNOME pergunta uma vez, em uma janela própria, se o Pindle pode usar esses atalhos: escolha Adicionar nela. Para alterá-los depois, vá em Configurações do GNOME, Teclado, Atalhos de teclado.</translation>
    </message>
    <message>
        <source>The desktop refused Pindle&apos;s keyboard shortcuts.</source>
        <translation>A área de trabalho recusou os atalhos de teclado do Pindle.</translation>
    </message>
    <message>
        <source>The desktop portal answered without a session.</source>
        <translation>O portal da área de trabalho respondeu sem uma sessão.</translation>
    </message>
    <message>
        <source>The desktop portal did not list Pindle&apos;s shortcuts.</source>
        <translation>O portal da área de trabalho não listou os atalhos do Pindle.</translation>
    </message>
</context>
<context>
    <name>PortalRequest</name>
    <message>
        <source>There is no D-Bus session, through which the desktop portal is reached.</source>
        <translation>Não há uma sessão D-Bus, necessária para acessar o portal da área de trabalho.</translation>
    </message>
    <message>
        <source>No desktop portal is running. Install xdg-desktop-portal with the backend for your desktop (-gnome, -kde or -wlr).</source>
        <extracomment>-gnome, -kde and -wlr complete the package name</extracomment>
        <translation>Nenhum portal da área de trabalho está em execução. Instale o xdg-desktop-portal com o backend da sua área de trabalho (-gnome, -kde ou -wlr).</translation>
    </message>
    <message>
        <source>The desktop portal did not answer.</source>
        <translation>O portal da área de trabalho não respondeu.</translation>
    </message>
    <message>
        <source>The desktop portal refused: %1</source>
        <extracomment>%1 is the portal&apos;s own explanation (untranslated)</extracomment>
        <translation>O portal da área de trabalho recusou: %1</translation>
    </message>
</context>
<context>
    <name>PortalScreenshot</name>
    <message>
        <source>This desktop&apos;s portal does not offer screenshots.</source>
        <translation>O portal desta área de trabalho não oferece capturas de tela.</translation>
    </message>
    <message>
        <source>The screenshot was cancelled.</source>
        <translation>A captura de tela foi cancelada.</translation>
    </message>
    <message>
        <source>The desktop refused to take a screenshot. Allow Pindle to take screenshots in your desktop&apos;s privacy settings (GNOME: Settings, Apps, Pindle; KDE: System Settings, Application Permissions) and try again.</source>
        <extracomment>The parts after &quot;GNOME:&quot; and &quot;KDE:&quot; name pages of those desktops&apos; settings</extracomment>
        <translation>A área de trabalho se recusou a fazer uma captura de tela. Permita que o Pindle faça capturas de tela nas configurações de privacidade da sua área de trabalho (GNOME: Configurações, Aplicativos, Pindle; KDE: Configurações do sistema, Permissões de aplicativos) e tente novamente.</translation>
    </message>
    <message>
        <source>The desktop&apos;s screenshot could not be read (%1).</source>
        <extracomment>%1 is the address of the picture the desktop saved</extracomment>
        <translation>Não foi possível ler a captura de tela feita pela área de trabalho (%1).</translation>
    </message>
</context>
<context>
    <name>PulseRecordingSession</name>
    <message>
        <source>No microphone was found.</source>
        <translation>Nenhum microfone foi encontrado.</translation>
    </message>
    <message>
        <source>No sound output device was found, so the computer&apos;s audio cannot be recorded.</source>
        <translation>Nenhum dispositivo de saída de som foi encontrado, então não é possível gravar o som do sistema.</translation>
    </message>
    <message>
        <source>The sound server stopped answering: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>O servidor de som parou de responder: %1.</translation>
    </message>
    <message>
        <source>The sound system could not be started.</source>
        <translation>Não foi possível iniciar o sistema de som.</translation>
    </message>
    <message>
        <source>The sound server refused the connection: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>O servidor de som recusou a conexão: %1.</translation>
    </message>
    <message>
        <source>No sound server is running (PulseAudio or PipeWire).</source>
        <translation>Nenhum servidor de som está em execução (PulseAudio ou PipeWire).</translation>
    </message>
    <message>
        <source>Microphone recording</source>
        <translation>Gravação do microfone</translation>
    </message>
    <message>
        <source>System audio recording</source>
        <translation>Gravação do som do sistema</translation>
    </message>
    <message>
        <source>The sound server refused to record: %1.</source>
        <extracomment>%1 is the sound server&apos;s explanation (untranslated)</extracomment>
        <translation>O servidor de som se recusou a gravar: %1.</translation>
    </message>
</context>
<context>
    <name>RecordingControls</name>
    <message>
        <source>The recording stopped before it could be saved.</source>
        <translation>A gravação parou antes de poder ser salva.</translation>
    </message>
</context>
<context>
    <name>ReplyWatcher</name>
    <message>
        <source>The server&apos;s reply is larger than %1 MiB.</source>
        <extracomment>%1 is the largest reply accepted, in mebibytes</extracomment>
        <translation>A resposta do servidor tem mais de %1 MiB.</translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation>A solicitação excedeu o tempo limite.</translation>
    </message>
</context>
<context>
    <name>ScreenCaptureService</name>
    <message>
        <source>No display found for screen capture</source>
        <translation>Nenhuma tela encontrada para a captura</translation>
    </message>
    <message>
        <source>Failed to encode screenshot as JPEG</source>
        <translation>Falha ao codificar a captura de tela como JPEG</translation>
    </message>
</context>
<context>
    <name>SettingsController</name>
    <message>
        <source>Loading...</source>
        <extracomment>Shown in the settings window&apos;s account rows while the account is being fetched</extracomment>
        <translation>Carregando...</translation>
    </message>
    <message>
        <source>...</source>
        <extracomment>Shown in place of the subscription status while the account is being fetched</extracomment>
        <translation>...</translation>
    </message>
    <message>
        <source>%1%</source>
        <extracomment>The overlay&apos;s opacity in the settings window; %1 is a whole number of percent</extracomment>
        <translation>%1%</translation>
    </message>
    <message>
        <source>Active</source>
        <extracomment>Subscription status in the settings window&apos;s account rows</extracomment>
        <translation>Ativa</translation>
    </message>
    <message>
        <source>Not signed in</source>
        <extracomment>Shown in the settings window&apos;s account rows in place of the e-mail address</extracomment>
        <translation>Não conectado</translation>
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
        <translation>Modelo principal atual da família GPT-5, para raciocínio complexo e programação.</translation>
    </message>
    <message>
        <source>High-capability GPT-5 family model with lower cost than GPT-5.5.</source>
        <translation>Modelo de alta capacidade da família GPT-5, com custo menor que o GPT-5.5.</translation>
    </message>
    <message>
        <source>Faster, cheaper GPT-5 family model for everyday work.</source>
        <translation>Modelo mais rápido e barato da família GPT-5, para o trabalho do dia a dia.</translation>
    </message>
    <message>
        <source>Best overall for quality, coding, and instruction following.</source>
        <translation>O melhor no geral em qualidade, programação e cumprimento de instruções.</translation>
    </message>
    <message>
        <source>Best for deep reasoning and harder multi-step tasks.</source>
        <translation>O melhor para raciocínio profundo e tarefas mais difíceis, de várias etapas.</translation>
    </message>
    <message>
        <source>Strong reasoning with lower cost and faster responses.</source>
        <translation>Raciocínio sólido com custo menor e respostas mais rápidas.</translation>
    </message>
    <message>
        <source>Reliable multimodal general-purpose model for text, images, and voice.</source>
        <translation>Modelo multimodal confiável de uso geral, para texto, imagens e voz.</translation>
    </message>
    <message>
        <source>Balanced speed and quality for everyday use.</source>
        <translation>Equilíbrio entre velocidade e qualidade para o dia a dia.</translation>
    </message>
    <message>
        <source>Fast and inexpensive for lightweight prompts.</source>
        <translation>Rápido e barato, para pedidos simples.</translation>
    </message>
    <message>
        <source>Compact reasoning model for quick analytical tasks.</source>
        <translation>Modelo de raciocínio compacto, para tarefas analíticas rápidas.</translation>
    </message>
    <message>
        <source>Smallest, fastest option for simple low-latency requests.</source>
        <translation>A opção menor e mais rápida, para pedidos simples de baixa latência.</translation>
    </message>
    <message>
        <source>Older high-capability GPT-4 generation kept for compatibility.</source>
        <translation>Geração anterior de alta capacidade do GPT-4, mantida por compatibilidade.</translation>
    </message>
    <message>
        <source>Legacy GPT-4 model kept for older workflows.</source>
        <translation>Modelo GPT-4 legado, mantido para fluxos de trabalho antigos.</translation>
    </message>
    <message>
        <source>Legacy budget model kept for backward compatibility.</source>
        <translation>Modelo econômico legado, mantido por retrocompatibilidade.</translation>
    </message>
    <message>
        <source>Previously saved custom model.</source>
        <extracomment>Description of a model id the user saved that no list names</extracomment>
        <translation>Modelo personalizado salvo anteriormente.</translation>
    </message>
    <message>
        <source>%1 (not offered)</source>
        <extracomment>Model picker entry; %1 is the model&apos;s id</extracomment>
        <translation>%1 (não oferecido)</translation>
    </message>
    <message>
        <source>This server no longer offers this model; %1 is used instead.</source>
        <extracomment>%1 is the name of the model used in its place</extracomment>
        <translation>Este servidor não oferece mais este modelo; em seu lugar, é usado %1.</translation>
    </message>
    <message>
        <source>it is too large</source>
        <extracomment>Why the settings file could not be read; completes &quot;could not be read (...)&quot;</extracomment>
        <translation>o arquivo é grande demais</translation>
    </message>
    <message>
        <source>it is not a JSON object</source>
        <extracomment>Why the settings file could not be read; completes &quot;could not be read (...)&quot;</extracomment>
        <translation>o arquivo não é um objeto JSON</translation>
    </message>
    <message>
        <source>Your settings could not be read (%1). They were kept as %2 and the defaults are in use.</source>
        <extracomment>%1 is why the file could not be read, %2 the path it was moved to</extracomment>
        <translation>Não foi possível ler suas configurações (%1). O arquivo foi guardado como %2 e as configurações padrão estão em uso.</translation>
    </message>
    <message>
        <source>Your settings at %1 could not be read (%2). The defaults are in use and changes will not be saved, so the file stays as it is.</source>
        <extracomment>%1 is the settings file&apos;s path, %2 why it could not be read</extracomment>
        <translation>Não foi possível ler suas configurações em %1 (%2). As configurações padrão estão em uso e as alterações não serão salvas, para que o arquivo fique como está.</translation>
    </message>
    <message>
        <source>Your settings could not be saved: they are larger than 1 MiB.</source>
        <translation>Não foi possível salvar suas configurações: elas ocupam mais de 1 MiB.</translation>
    </message>
    <message>
        <source>Your settings could not be saved: %1</source>
        <extracomment>%1 is the system&apos;s description of the failure</extracomment>
        <translation>Não foi possível salvar suas configurações: %1</translation>
    </message>
</context>
<context>
    <name>SettingsView</name>
    <message>
        <source>Add Pindle&apos;s shortcuts to GNOME?</source>
        <extracomment>Dialog title</extracomment>
        <translation>Adicionar os atalhos do Pindle ao GNOME?</translation>
    </message>
    <message>
        <source>GNOME&apos;s keyboard settings get a custom shortcut for each of these, but for combinations GNOME already uses. You can change or remove them there later.</source>
        <translation>As configurações de teclado do GNOME receberão um atalho personalizado para cada um destes, exceto para as combinações que o GNOME já usa. Depois, você pode alterá-los ou removê-los lá.</translation>
    </message>
    <message>
        <source>Account</source>
        <extracomment>Section title</extracomment>
        <translation>Conta</translation>
    </message>
    <message>
        <source>Email:</source>
        <extracomment>Label before the signed-in e-mail address</extracomment>
        <translation>E-mail:</translation>
    </message>
    <message>
        <source>Subscription:</source>
        <extracomment>Label before the subscription state</extracomment>
        <translation>Assinatura:</translation>
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
        <translation>Iniciar o Pindle ao fazer login</translation>
    </message>
    <message>
        <source>Overlay Opacity</source>
        <extracomment>Section title</extracomment>
        <translation>Opacidade da janela flutuante</translation>
    </message>
    <message>
        <source>Assistant Category</source>
        <extracomment>Section title</extracomment>
        <translation>Categoria do assistente</translation>
    </message>
    <message>
        <source>System Prompt</source>
        <extracomment>Section title: the user&apos;s own instruction sent to the AI</extracomment>
        <translation>Instruções do sistema</translation>
    </message>
    <message>
        <source>Sent with every question, after the server&apos;s instruction for the category.</source>
        <translation>Enviadas com cada pergunta, depois das instruções do servidor para a categoria.</translation>
    </message>
    <message>
        <source>Keyboard Shortcuts</source>
        <extracomment>Section title</extracomment>
        <translation>Atalhos de teclado</translation>
    </message>
    <message>
        <source>Press keys…</source>
        <extracomment>On the shortcut button while it waits for the new key combination; keep it short</extracomment>
        <translation>Pressione…</translation>
    </message>
    <message>
        <source>Click, then press the new shortcut</source>
        <translation>Clique e pressione o novo atalho</translation>
    </message>
    <message>
        <source>Reset</source>
        <extracomment>Button that restores a shortcut&apos;s default key combination</extracomment>
        <translation>Redefinir</translation>
    </message>
    <message>
        <source>Click a shortcut, then press the keys you want (Escape cancels).</source>
        <translation>Clique em um atalho e pressione as teclas desejadas (Escape cancela).</translation>
    </message>
    <message>
        <source>Add to GNOME&apos;s Keyboard Shortcuts…</source>
        <extracomment>Button</extracomment>
        <translation>Adicionar aos atalhos de teclado do GNOME…</translation>
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
        <translation>Mostrar/ocultar</translation>
    </message>
    <message>
        <source>Toggle overlay visibility</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Mostrar ou ocultar a janela flutuante</translation>
    </message>
    <message>
        <source>Capture Screen</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Capturar tela</translation>
    </message>
    <message>
        <source>Screenshot &amp; analyze</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Capturar e analisar a tela</translation>
    </message>
    <message>
        <source>Type Mode</source>
        <extracomment>Tray menu item</extracomment>
        <translation>Modo de digitação</translation>
    </message>
    <message>
        <source>Toggle typing mode</source>
        <extracomment>What the shortcut does, in settings and the desktop&apos;s shortcut list</extracomment>
        <translation>Ativar ou desativar o modo de digitação</translation>
    </message>
</context>
<context>
    <name>ShortcutController</name>
    <message>
        <source>another program</source>
        <extracomment>Who holds a key combination when it is not known (&quot;Alt+S is already used by ...&quot;)</extracomment>
        <translation>outro programa</translation>
    </message>
    <message>
        <source>%1 for “%2”</source>
        <extracomment>Who holds a key combination: %1 is a program or the desktop, %2 what it does with it</extracomment>
        <translation>%1 para “%2”</translation>
    </message>
    <message>
        <source>%1 is already used by %2, so %3 has no shortcut there: choose another combination above, then add again.</source>
        <extracomment>%1 is a key combination, %2 who holds it, %3 the action&apos;s name (“Capture Screen”)</extracomment>
        <translation>%1 já é usado por %2, então “%3” ficou sem atalho lá: escolha outra combinação acima e adicione novamente.</translation>
    </message>
    <message>
        <source>Pindle: %1</source>
        <extracomment>Name of a shortcut in the desktop&apos;s keyboard settings; %1 is the action&apos;s name</extracomment>
        <translation>Pindle: %1</translation>
    </message>
    <message>
        <source>Added to the desktop&apos;s keyboard shortcuts: %1.</source>
        <extracomment>%1 lists the key combinations added, separated by commas</extracomment>
        <translation>Adicionados aos atalhos de teclado da área de trabalho: %1.</translation>
    </message>
    <message>
        <source>The shortcuts could not be added: %1</source>
        <extracomment>%1 is why, in the desktop&apos;s words</extracomment>
        <translation>Não foi possível adicionar os atalhos: %1</translation>
    </message>
    <message>
        <source>No global shortcuts</source>
        <extracomment>Title of a desktop notification</extracomment>
        <translation>Sem atalhos globais</translation>
    </message>
    <message>
        <source>%1 is already used by %2, so %3 has no shortcut.</source>
        <extracomment>%1 is a key combination, %2 who holds it, %3 the action&apos;s name (“Capture Screen”)</extracomment>
        <translation>%1 já é usado por %2, então “%3” ficou sem atalho.</translation>
    </message>
    <message>
        <source>Choose another under Keyboard Shortcuts in Pindle&apos;s Settings.</source>
        <translation>Escolha outro em Atalhos de teclado, nas Configurações do Pindle.</translation>
    </message>
    <message>
        <source>Already used by %1.</source>
        <extracomment>Why a shortcut does nothing; %1 is who holds its combination</extracomment>
        <translation>Já é usado por %1.</translation>
    </message>
    <message>
        <source>Waiting for the desktop to take it.</source>
        <extracomment>Why a shortcut does not work yet, under it in the settings window</extracomment>
        <translation>Aguardando a área de trabalho aceitá-lo.</translation>
    </message>
    <message>
        <source>The desktop has %1 for it instead: change that in the desktop&apos;s keyboard settings.</source>
        <extracomment>%1 is the key combination the desktop gave the action</extracomment>
        <translation>Em vez disso, a área de trabalho atribuiu %1 a esta ação: altere isso nas configurações de teclado dela.</translation>
    </message>
    <message>
        <source>A shortcut needs Ctrl, Alt or Super.</source>
        <translation>Um atalho precisa de Ctrl, Alt ou Super.</translation>
    </message>
    <message>
        <source>%1 is already the shortcut for %2.</source>
        <extracomment>%1 is a key combination, %2 the name of the action that has it</extracomment>
        <translation>%1 já é o atalho de “%2”.</translation>
    </message>
    <message>
        <source>%1 is used by %2.</source>
        <extracomment>%1 is a key combination, %2 who holds it (a program, or the desktop for an action)</extracomment>
        <translation>%1 é usado por %2.</translation>
    </message>
    <message>
        <source>That key cannot be part of a shortcut.</source>
        <translation>Essa tecla não pode fazer parte de um atalho.</translation>
    </message>
    <message numerus="yes">
        <source>Shortcut(s) unavailable</source>
        <extracomment>Title of a desktop notification with a line for each shortcut; %n is how many</extracomment>
        <translation>
            <numerusform>Atalho indisponível</numerusform>
            <numerusform>Atalhos indisponíveis</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StartAtLogin</name>
    <message>
        <source>Pindle could not remove %1: %2</source>
        <extracomment>%1 is the login entry&apos;s path, %2 the system&apos;s description of the failure</extracomment>
        <translation>O Pindle não conseguiu remover %1: %2</translation>
    </message>
    <message>
        <source>Pindle could not create the folder %1.</source>
        <extracomment>%1 is a folder&apos;s path</extracomment>
        <translation>O Pindle não conseguiu criar a pasta %1.</translation>
    </message>
    <message>
        <source>Pindle cannot start at login from %1: a login entry cannot hold a path with a line break or another control character. Move Pindle to another folder.</source>
        <extracomment>%1 is the path of Pindle&apos;s program file</extracomment>
        <translation>O Pindle não pode ser iniciado no login a partir de %1: uma entrada de inicialização não pode conter um caminho com quebra de linha ou outro caractere de controle. Mova o Pindle para outra pasta.</translation>
    </message>
    <message>
        <source>Pindle could not write %1: %2</source>
        <extracomment>%1 is the login entry&apos;s path, %2 the system&apos;s description of the failure</extracomment>
        <translation>O Pindle não conseguiu gravar %1: %2</translation>
    </message>
</context>
<context>
    <name>TokenStore</name>
    <message>
        <source>Pindle closed while reading the keychain.</source>
        <translation>O Pindle foi fechado durante a leitura do chaveiro.</translation>
    </message>
</context>
<context>
    <name>WaylandStepAsideGrabber</name>
    <message>
        <source>The desktop did not hand over the picture of the screen. Try again.</source>
        <translation>A área de trabalho não entregou a imagem da tela. Tente novamente.</translation>
    </message>
</context>
<context>
    <name>X11StepAsideGrabber</name>
    <message>
        <source>The display did not hand over the picture of the screen. Try again.</source>
        <translation>O servidor gráfico não entregou a imagem da tela. Tente novamente.</translation>
    </message>
</context>
</TS>
